#pragma once

#include <string>
#include <vector>

namespace kv::remoteschemes {

// The schemes GIO's virtual file systems reach here that name places on other machines or devices
// (sftp, smb, dav, google-drive, mtp, ...): those it offers less the ones that are this computer's own
// (file, trash, recent, computer, ...) and the web's (http, https), which a pane shows as pages.
std::vector<std::string> offered();

// Adds what offered() gives to RemoteLocation's schemes. Once, at start, off the UI thread.
void adopt();

}  // namespace kv::remoteschemes
