#pragma once

#include <QLineEdit>

namespace host {

class MaskValidator;

// A code edit with an edit mask (see MaskValidator), ">aaaa;0; " by default: up to four letters
// or digits, typed in upper case. text() is what was typed, without literals or blanks.
class TMaskEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit TMaskEdit(QWidget *parent = nullptr);
    TMaskEdit(const QString &editMask, QWidget *parent = nullptr);

    QString EditMask() const { return m_mask; }
    void setEditMask(const QString &editMask);

private:
    QString m_mask;
};

} // namespace host
