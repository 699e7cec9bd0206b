/* hold_port DEVICE: in the guest, another program on a port, as busybox has none: holds DEVICE
 * at 9600 baud in the kernel's exclusive mode (TIOCEXCL) and prints "ready"; on SIGTERM, prints
 * the speed and the exclusive mode it then finds ("9600 1" if nobody changed them). */
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <termios.h>

int main(int argc, char **argv)
{
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, NULL);
    struct termios line;
    int fd = argc == 2 ? open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK) : -1, caught, exclusive = 0;
    if (fd < 0 || tcgetattr(fd, &line) != 0)
        return 2;
    cfmakeraw(&line);
    cfsetspeed(&line, B9600);
    if (tcsetattr(fd, TCSANOW, &line) != 0 || ioctl(fd, TIOCEXCL) != 0)
        return 1;
    printf("ready\n");
    fflush(stdout);
    sigwait(&term, &caught);
    tcgetattr(fd, &line);
    ioctl(fd, TIOCGEXCL, &exclusive);
    printf("%s %d\n", cfgetospeed(&line) == B9600 ? "9600" : "other", exclusive);
    return 0;
}
