// Kestrane: the broadband quality test client.
#include <memory>

#include "apps/kestrane/form_main.h"
#include "apps/kestrane/program.h"
#include "apps/kestrane/scheduler_wiring.h"
#include "auto/client_address.h"
#include "auto/ping_trace.h"
#include "update_client/updater.h"

int main(int argc, char** argv) {
  std::unique_ptr<CAutoTesting> automatic;
  const int code = RunKestrane(argc, argv, [&automatic](CFormMain& form) {
    StartAddressTask();
    // The collection needs the user's location and id, so it starts after a login; later
    // logins find it running.
    form.GetHooks().startPingTrace = [] { pingtrace::StartCollection(); };
    // The update client's pass, once at start-up.
    form.GetHooks().startUpdateClient = [] { StartUpdateThread(); };
    // The scheduler: armed after an allowed login and on confirmation, paced by the window's
    // timer, the web page step on message 1176.
    automatic = std::make_unique<CAutoTesting>(form);
    automatic->Wire();
  });
  automatic.reset();
  pingtrace::StopCollection();
  return code;
}
