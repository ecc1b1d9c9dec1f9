#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace host {

class UserInteraction;

// A screen's message table: lines "key|text", looked up by key.
class TMessages
{
public:
    TMessages() = default;
    explicit TMessages(const QStringList &lines) { setLines(lines); }

    void setLines(const QStringList &lines);
    const QStringList &lines() const { return m_lines; }

    bool contains(const QString &key) const { return m_texts.contains(key); }
    // The text of a key; an unknown key is a fault of the calling code and raises.
    QString Msg(const QString &key) const;

private:
    QStringList m_lines;
    QHash<QString, QString> m_texts;
};

// Shows the text as an error; with abort true it then ends the running command (AbortError).
void MensErro(UserInteraction &ui, const QString &text, bool abort);
// The same, through the installed host services: the screens' entry point.
void MensErro(const QString &text, bool abort);

} // namespace host
