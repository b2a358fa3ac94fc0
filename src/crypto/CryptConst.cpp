// CryptConst holds constants only; this file keeps the unit's file pair complete.
#include "crypto/CryptConst.h"
