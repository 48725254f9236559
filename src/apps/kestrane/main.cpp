// Kestrane: the broadband quality test client.
#include "apps/kestrane/form_main.h"
#include "apps/kestrane/program.h"
#include "auto/client_address.h"

int main(int argc, char** argv) {
  return RunKestrane(argc, argv, [](CFormMain& form) {
    StartAddressTask();
    // The update client, the ping and trace collection, the scheduler and the automatic web
    // page step plug in here through form.GetHooks().
    (void)form;
  });
}
