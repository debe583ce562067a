/* Receives one UDP datagram on loopback for the end-to-end tests: binds 127.0.0.1 on a port the
 * system chooses, writes that port to PORT_FILE (whole, by renaming a finished temporary file),
 * waits at most TIMEOUT_SECONDS for one datagram and writes its bytes to DATAGRAM_FILE.
 * Usage: udp_receiver PORT_FILE DATAGRAM_FILE TIMEOUT_SECONDS
 * Exit status 0 once a datagram was written, 1 on any failure or when none came in time. */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

static int writeFile(const char* path, const void* bytes, size_t count) {
    char temporary[4096];
    if (snprintf(temporary, sizeof temporary, "%s.part", path) >= (int)sizeof temporary) {
        return 0;
    }
    FILE* file = fopen(temporary, "wb");
    if (file == NULL) {
        return 0;
    }
    const int written = fwrite(bytes, 1, count, file) == count;
    if (fclose(file) != 0 || !written) {
        return 0;
    }
    return rename(temporary, path) == 0;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: udp_receiver PORT_FILE DATAGRAM_FILE TIMEOUT_SECONDS\n");
        return 1;
    }
    const int receiver = socket(AF_INET, SOCK_DGRAM, 0);
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (receiver < 0 || bind(receiver, (struct sockaddr*)&address, sizeof address) != 0 ||
        getsockname(receiver, (struct sockaddr*)&address, &length) != 0) {
        perror("udp_receiver: socket");
        return 1;
    }
    struct timeval timeout = {atoi(argv[3]), 0};
    if (setsockopt(receiver, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0) {
        perror("udp_receiver: timeout");
        return 1;
    }
    char port[16];
    const int portLength = snprintf(port, sizeof port, "%u\n", (unsigned)ntohs(address.sin_port));
    if (!writeFile(argv[1], port, (size_t)portLength)) {
        perror("udp_receiver: port file");
        return 1;
    }
    unsigned char datagram[65536];
    const ssize_t received = recv(receiver, datagram, sizeof datagram, 0);
    if (received < 0) {
        perror("udp_receiver: no datagram");
        return 1;
    }
    close(receiver);
    if (!writeFile(argv[2], datagram, (size_t)received)) {
        perror("udp_receiver: datagram file");
        return 1;
    }
    return 0;
}
