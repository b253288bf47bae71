// traywatch: the key monitor.
#include "traywatch/monitor_app.h"

MonitorApp theApp;
