/* The least a program does to send a magic packet: one UDP datagram of 102 bytes to
 * 127.0.0.1:PORT, with nothing but the C library. The yardstick of the command line's bench.
 * Usage: udp_send PORT */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    unsigned char packet[102];
    memset(packet, 0xFF, 6);
    for (int i = 6; i < 102; ++i) {
        packet[i] = (unsigned char)(0x10 + i % 6);
    }
    struct sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons((unsigned short)atoi(argv[1]));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    return fd >= 0 && sendto(fd, packet, sizeof packet, 0, (struct sockaddr*)&to, sizeof to) ==
                          (ssize_t)sizeof packet
               ? 0
               : 1;
}
