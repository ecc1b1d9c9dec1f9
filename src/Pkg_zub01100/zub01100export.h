#pragma once

#include <QtGlobal>

#if defined(PKG_ZUB01100_LIBRARY)
#define ZUB01100_EXPORT Q_DECL_EXPORT
#else
#define ZUB01100_EXPORT Q_DECL_IMPORT
#endif
