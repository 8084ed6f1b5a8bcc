/* bench/cli/c_client.c - the least a client can do for `nolt search red chair`: connect,
 * send the request frame, read the reply frame and print its payload. */
#include "bench_socket.h"

int main(void) {
  static const char request[] = "{\"arguments\":{\"query\":\"red chair\"},\"command\":\"search\"}";
  struct sockaddr_un address;
  if (bench_socket_address(&address) != 0) return 1;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, (struct sockaddr*)&address, sizeof address) != 0) return 1;
  unsigned char frame[8 + sizeof request];
  bench_put_u32(frame, 0);
  bench_put_u32(frame + 4, sizeof request - 1);
  memcpy(frame + 8, request, sizeof request - 1);
  if (bench_write_all(fd, frame, 8 + sizeof request - 1) != 0) return 1;
  unsigned char header[4];
  if (bench_read_all(fd, header, 4) != 0) return 1;
  uint32_t size = bench_get_u32(header);
  char* reply = malloc(size + 1);
  if (!reply || bench_read_all(fd, reply, size) != 0) return 1;
  close(fd);
  fwrite(reply, 1, size, stdout);
  fputc('\n', stdout);
  return 0;
}
