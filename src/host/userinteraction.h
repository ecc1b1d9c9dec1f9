#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace host {

// Everything the user is asked or told goes through here, so tests can script the answers.
class UserInteraction
{
public:
    virtual ~UserInteraction() = default;

    virtual void showError(const QString &text) = 0;
    virtual void showInformation(const QString &text) = 0;
    // A line of text, or nothing when the user cancels.
    virtual std::optional<QString> askText(const QString &title, const QString &prompt, const QString &initial) = 0;
};

// Records what was shown and answers from a script; an unscripted question counts as a cancel.
class ScriptedInteraction : public UserInteraction
{
public:
    void showError(const QString &text) override { errors.append(text); }
    void showInformation(const QString &text) override { informations.append(text); }
    std::optional<QString> askText(const QString &title, const QString &prompt, const QString &initial) override
    {
        questions.append(title + QLatin1Char('|') + prompt);
        if (textAnswers.isEmpty())
            return std::nullopt;
        return textAnswers.takeFirst();
    }

    QStringList errors;
    QStringList informations;
    QStringList questions;
    QList<std::optional<QString>> textAnswers;
};

} // namespace host
