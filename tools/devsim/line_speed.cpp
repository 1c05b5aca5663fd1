#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace devsim {

unsigned ReadLineSpeed(int fd) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return 0;
    return settings.c_ospeed;
}

} // namespace devsim
