/* bench/cli/bench_socket.h - the framed socket exchange and the file to send in plain C, for the
 * baselines that nolt's whole-process times are compared with. */
#ifndef NOLT_BENCH_SOCKET_H
#define NOLT_BENCH_SOCKET_H

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

/* <runtime directory>/group.app.nolt.cli from XDG_RUNTIME_DIR. */
static inline int bench_socket_address(struct sockaddr_un* address) {
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  if (!runtime) return -1;
  memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  int n = snprintf(address->sun_path, sizeof address->sun_path, "%s/group.app.nolt.cli", runtime);
  return n > 0 && (size_t)n < sizeof address->sun_path ? 0 : -1;
}

/* A connection to the host's port; -1 when there is none. */
static inline int bench_connect(void) {
  struct sockaddr_un address;
  if (bench_socket_address(&address) != 0) return -1;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, (struct sockaddr*)&address, sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

/* `path` opened for reading, with its size in `size`; -1 when it cannot be. */
static inline int bench_open_file(const char* path, size_t* size) {
  int file = open(path, O_RDONLY | O_CLOEXEC);
  struct stat status;
  if (file < 0) return -1;
  if (fstat(file, &status) != 0) {
    close(file);
    return -1;
  }
  *size = (size_t)status.st_size;
  return file;
}

static inline int bench_write_all(int fd, const void* data, size_t size) {
  const char* p = data;
  while (size > 0) {
    ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    p += n;
    size -= (size_t)n;
  }
  return 0;
}

static inline int bench_read_all(int fd, void* data, size_t size) {
  char* p = data;
  while (size > 0) {
    ssize_t n = read(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    p += n;
    size -= (size_t)n;
  }
  return 0;
}

static inline void bench_put_u32(unsigned char* p, uint32_t v) {
  p[0] = (unsigned char)(v >> 24);
  p[1] = (unsigned char)(v >> 16);
  p[2] = (unsigned char)(v >> 8);
  p[3] = (unsigned char)v;
}

static inline uint32_t bench_get_u32(const unsigned char* p) {
  return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

/* Standard Base64 of `size` bytes, padded, written at `out`; returns the end of the text. */
static inline char* bench_base64(const unsigned char* bytes, size_t size, char* o) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    unsigned v = (unsigned)bytes[i] << 16 | (unsigned)bytes[i + 1] << 8 | bytes[i + 2];
    *o++ = kAlphabet[v >> 18];
    *o++ = kAlphabet[v >> 12 & 63];
    *o++ = kAlphabet[v >> 6 & 63];
    *o++ = kAlphabet[v & 63];
  }
  if (size - i == 1) {
    unsigned v = (unsigned)bytes[i] << 16;
    *o++ = kAlphabet[v >> 18];
    *o++ = kAlphabet[v >> 12 & 63];
    *o++ = '=';
    *o++ = '=';
  } else if (size - i == 2) {
    unsigned v = (unsigned)bytes[i] << 16 | (unsigned)bytes[i + 1] << 8;
    *o++ = kAlphabet[v >> 18];
    *o++ = kAlphabet[v >> 12 & 63];
    *o++ = kAlphabet[v >> 6 & 63];
    *o++ = '=';
  }
  return o;
}

#endif
