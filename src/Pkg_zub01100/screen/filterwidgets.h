#pragma once

// The filter widgets of the screen, generated from custoplanxreal.ui; the form holds them privately,
// and tests reach them through TfrmCustoPlanXReal::widgets().
#include "ui_custoplanxreal.h"
