#pragma once

#include <QValidator>

namespace host {

// Input masks of the form "<chars>;<save literals>;<blank>" without literals, such as ">aaaa;0; ":
//   >  what follows is turned to upper case      <  to lower case
//   a  a letter or digit, optional               A  a letter or digit, required
//   l  a letter, optional                        L  a letter, required
//   9  a digit, optional                         0  a digit, required
// Letters are ASCII only: codes travel to databases and servers that compare them byte-wise.
class MaskValidator : public QValidator
{
    Q_OBJECT
public:
    explicit MaskValidator(const QString &mask, QObject *parent = nullptr);

    State validate(QString &input, int &pos) const override;
    int maxLength() const { return int(m_slots.size()); }

private:
    enum class Case { Keep, Upper, Lower };
    struct Slot {
        QChar kind;
        Case letterCase;
    };
    static bool accepts(QChar kind, QChar c);
    QList<Slot> m_slots;
};

} // namespace host
