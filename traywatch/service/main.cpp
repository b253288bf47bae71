// traywatchsvc: the service that keeps traywatch running in the user's session.
#include "traywatch/service/key_service.h"

int main(int argc, char **argv) { return ServiceProgramMain(argc, argv); }
