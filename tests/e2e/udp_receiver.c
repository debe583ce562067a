/* Receives UDP datagrams on loopback for the end-to-end tests: binds 127.0.0.1 on a port the
 * system chooses, writes that port to PORT_FILE (whole, by renaming a finished temporary file),
 * waits at most TIMEOUT_SECONDS for each of COUNT datagrams (1 if not given) and writes the bytes
 * of the first to DATAGRAM_FILE, of the n-th to DATAGRAM_FILE.n.
 * Usage: udp_receiver PORT_FILE DATAGRAM_FILE TIMEOUT_SECONDS [COUNT]
 * Exit status 0 once every datagram was written, 1 on any failure or when one did not come in
 * time. */
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
    if (argc != 4 && argc != 5) {
        fprintf(stderr, "usage: udp_receiver PORT_FILE DATAGRAM_FILE TIMEOUT_SECONDS [COUNT]\n");
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
    const int count = argc == 5 ? atoi(argv[4]) : 1;
    for (int n = 1; n <= count; ++n) {
        static unsigned char datagram[65536];
        const ssize_t received = recv(receiver, datagram, sizeof datagram, 0);
        if (received < 0) {
            perror("udp_receiver: no datagram");
            return 1;
        }
        char path[4096];
        if (n == 1) {
            snprintf(path, sizeof path, "%s", argv[2]);
        } else if (snprintf(path, sizeof path, "%s.%d", argv[2], n) >= (int)sizeof path) {
            return 1;
        }
        if (!writeFile(path, datagram, (size_t)received)) {
            perror("udp_receiver: datagram file");
            return 1;
        }
    }
    close(receiver);
    return 0;
}
