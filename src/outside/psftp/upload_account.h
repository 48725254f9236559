#pragma once

#include "outside/psftp/sftp_transfer.h"

namespace psftp {

// Fills port, user and password of `target` from the upload account of "conf\config.xml"
// (texts stored scrambled), and the host when the command line named none. Returns false
// when the account could not be read.
bool LoadUploadAccount(Target& target);

}  // namespace psftp
