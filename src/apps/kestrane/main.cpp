// Kestrane: the broadband quality test client.
#include "apps/kestrane/form_main.h"
#include "apps/kestrane/program.h"
#include "auto/client_address.h"
#include "auto/ping_trace.h"
#include "update_client/updater.h"

int main(int argc, char** argv) {
  const int code = RunKestrane(argc, argv, [](CFormMain& form) {
    StartAddressTask();
    // The collection needs the user's location and id, so it starts after a login; later
    // logins find it running. The update client, the scheduler and the automatic web page
    // step plug in here through the other hooks.
    form.GetHooks().startPingTrace = [] { pingtrace::StartCollection(); };
    form.GetHooks().startUpdateClient = [] { StartUpdateThread(); };
  });
  pingtrace::StopCollection();
  return code;
}
