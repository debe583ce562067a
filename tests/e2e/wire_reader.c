/* Reads the frames on a network interface as the card of a sleeping computer does (AF_PACKET),
 * for the end-to-end tests: waits at most TIMEOUT_SECONDS for a UDP datagram that holds a
 * Wake-on-LAN magic packet (six 0xFF bytes, then one MAC address sixteen times) and writes its
 * IPv4 destination, dotted, to OUT_FILE.
 * Usage: wire_reader INTERFACE OUT_FILE TIMEOUT_SECONDS [READY_FIFO]
 * With READY_FIFO, a line is written to it once the wire is being read, so that a test sends
 * only then.
 * Exit status 0 once one was seen, 1 on any failure or when none came in time. */
#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

enum { ethernetHeader = 14, udpProtocol = 17 };

static int holdsMagicPacket(const unsigned char* bytes, size_t size) {
    for (size_t start = 0; start + 102 <= size; ++start) {
        size_t i = 0;
        while (i < 6 && bytes[start + i] == 0xFF) {
            ++i;
        }
        if (i < 6) {
            continue;
        }
        const unsigned char* mac = bytes + start + 6;
        for (i = 6; i < 96 && mac[i] == mac[i % 6]; ++i) {
        }
        if (i == 96) {
            return 1;
        }
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        fprintf(stderr, "usage: wire_reader INTERFACE OUT_FILE TIMEOUT_SECONDS [READY_FIFO]\n");
        return 1;
    }
    const int wire = socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL));
    struct sockaddr_ll address;
    memset(&address, 0, sizeof address);
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_ALL);
    address.sll_ifindex = (int)if_nametoindex(argv[1]);
    struct timeval timeout = {atoi(argv[3]), 0};
    if (wire < 0 || address.sll_ifindex == 0 ||
        bind(wire, (struct sockaddr*)&address, sizeof address) != 0 ||
        setsockopt(wire, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0) {
        perror("wire_reader: socket");
        return 1;
    }
    if (argc == 5) {
        FILE* ready = fopen(argv[4], "w");
        if (ready == NULL || fputs("reading\n", ready) < 0 || fclose(ready) != 0) {
            perror("wire_reader: ready fifo");
            return 1;
        }
    }
    unsigned char frame[2048];
    for (;;) {
        const ssize_t got = recv(wire, frame, sizeof frame, 0);
        if (got < 0) {
            perror("wire_reader: no magic packet");
            return 1;
        }
        const size_t size = (size_t)got;
        if (size < ethernetHeader + 20 || frame[12] != 0x08 || frame[13] != 0x00 ||
            frame[ethernetHeader + 9] != udpProtocol ||
            !holdsMagicPacket(frame + ethernetHeader, size - ethernetHeader)) {
            continue;
        }
        char dotted[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, frame + ethernetHeader + 16, dotted, sizeof dotted);
        FILE* out = fopen(argv[2], "w");
        if (out == NULL || fprintf(out, "%s\n", dotted) < 0 || fclose(out) != 0) {
            perror("wire_reader: out file");
            return 1;
        }
        return 0;
    }
}
