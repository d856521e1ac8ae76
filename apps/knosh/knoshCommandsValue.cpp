// get, cat and set: reading and writing node values. They arrive together
// with value printing; until then the rows of the command table answer that
// the operation is not supported.
#include "apps/knosh/knoshInternal.h"

KES_ReturnStatus KNOSHCmdGet(KNOSHArgs*) { return KES_NOT_SUPPORTED; }

KES_ReturnStatus KNOSHCmdSet(KNOSHArgs*) { return KES_NOT_SUPPORTED; }
