#pragma once

#include <QVariant>

namespace host {

// Unpacks an application-server answer {"ok":true,"data":...} into its data. An answer
// {"ok":false,"message":...} raises ServerError with the message when raiseOnError is true,
// and gives an unassigned value otherwise. Mode 0 is the only envelope there is.
QVariant CheckResultServ(const QVariant &answer, bool raiseOnError, int mode);

} // namespace host
