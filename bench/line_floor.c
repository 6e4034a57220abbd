/* The floor of an acknowledged protocol on the simulated line: two bare
 * peers, one writing frames of a given size and waiting for a one-byte
 * reply to each, the other reading each whole frame and replying at once.
 * No checks, no files, no progress: what is left over the latency-bound
 * ideal is the line's own (ptys, the relay, wake-ups), not a protocol's.
 *
 *   line_floor send DEVICE FRAMES BYTES    prints the seconds from the first
 *                                          frame to the last reply
 *   line_floor answer DEVICE FRAMES BYTES
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int waitFor(int fd, short events)
{
    struct pollfd p = {fd, events, 0};
    return poll(&p, 1, 10000) == 1 ? 0 : -1;
}

static int moveAll(int fd, unsigned char* buffer, size_t count, int writing)
{
    size_t done = 0;
    while (done < count) {
        ssize_t n = writing ? write(fd, buffer + done, count - done) : read(fd, buffer + done, count - done);
        if (n > 0) {
            done += (size_t)n;
            continue;
        }
        if (waitFor(fd, writing ? POLLOUT : POLLIN) != 0)
            return -1;
    }
    return 0;
}

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

int main(int argc, char** argv)
{
    if (argc != 5 || (strcmp(argv[1], "send") != 0 && strcmp(argv[1], "answer") != 0)) {
        fprintf(stderr, "usage: line_floor send|answer DEVICE FRAMES BYTES\n");
        return 2;
    }
    int sending = strcmp(argv[1], "send") == 0;
    long frames = atol(argv[3]);
    size_t bytes = (size_t)atol(argv[4]);
    int fd = open(argv[2], O_RDWR | O_NOCTTY | O_NONBLOCK);
    unsigned char* frame = calloc(bytes, 1);
    unsigned char reply = 0x06;
    if (fd < 0 || frame == NULL || bytes == 0) {
        perror("line_floor");
        return 1;
    }
    double start = now();
    for (long i = 0; i < frames; ++i) {
        int failed = sending ? moveAll(fd, frame, bytes, 1) || moveAll(fd, &reply, 1, 0)
                             : moveAll(fd, frame, bytes, 0) || moveAll(fd, &reply, 1, 1);
        if (failed) {
            fprintf(stderr, "line_floor: %s stalled at frame %ld\n", argv[1], i);
            return 1;
        }
    }
    if (sending)
        printf("%.6f\n", now() - start);
    return 0;
}
