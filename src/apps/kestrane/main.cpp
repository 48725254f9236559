// Kestrane: the broadband quality test client.
#include "apps/kestrane/form_main.h"
#include "apps/kestrane/program.h"
#include "auto/client_address.h"

int main(int argc, char** argv) {
  return RunKestrane(argc, argv, [](CFormMain& form) {
    StartAddressTask();
    (void)form;  // update client, ping and trace, scheduler: plugged in here
  });
}
