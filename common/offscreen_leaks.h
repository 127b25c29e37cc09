// Qt 5's offscreen platform plugin never releases its screen objects. A
// program or test that draws off-screen includes this once, so that the leak
// checker of a sanitizer build reports everything but those.
#ifndef COMMON_OFFSCREEN_LEAKS_H
#define COMMON_OFFSCREEN_LEAKS_H

#if defined(__SANITIZE_ADDRESS__)
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libqoffscreen.so\n"
           "leak:QPlatformScreen::QPlatformScreen\n"
           "leak:QScreen::QScreen\n"
           "leak:QWindowSystemInterface::handleScreenAdded\n";
}
#endif

#endif
