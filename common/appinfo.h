// The application's identity: its name (which also names the program in
// every RINEX header it writes), number and version. Kept apart from app/ so
// that the task runner and the window can include it without reaching up
// into the programs.
#ifndef QUORVANE_COMMON_APPINFO_H
#define QUORVANE_COMMON_APPINFO_H

#define APP_NAME "Quorvane"
#define APP_NUMBER "1.41.2401.83"
#define APP_VERSION APP_NAME "." APP_NUMBER
#define APP_BUILDTIME __DATE__ " " __TIME__

#endif
