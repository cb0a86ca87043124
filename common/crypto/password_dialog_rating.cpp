// The meter with the password dialog's policy, apart from the dialog itself (see the header).
#include "common/crypto/password_quality.h"

int rateDialogPassword(const uint8_t* ansi) {
    return checkPassword(ansi, kDialogPasswordPolicy);
}
