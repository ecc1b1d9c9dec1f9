#include "host/widgets/maskedit.h"

#include "host/widgets/maskvalidator.h"

namespace host {

TMaskEdit::TMaskEdit(QWidget *parent) : TMaskEdit(QStringLiteral(">aaaa;0; "), parent)
{
}

TMaskEdit::TMaskEdit(const QString &editMask, QWidget *parent) : QLineEdit(parent)
{
    setEditMask(editMask);
}

void TMaskEdit::setEditMask(const QString &editMask)
{
    auto *validator = new MaskValidator(editMask, this);
    delete QLineEdit::validator();
    setValidator(validator);
    setMaxLength(validator->maxLength());
    m_mask = editMask;
}

} // namespace host
