// The application's identity: its name (which also names the program in
// every RINEX header it writes), number and version.
#ifndef QUORVANE_APP_APPINFO_H
#define QUORVANE_APP_APPINFO_H

#define APP_NAME "Quorvane"
#define APP_NUMBER "QV-100"
#define APP_VERSION "1.0.0"
#define APP_BUILDTIME __DATE__ " " __TIME__

#endif
