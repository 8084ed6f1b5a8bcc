/* bench/cli/add_floor.c - the floor for `nolt add FILE`: read the file into memory, Base64 it,
 * and write the bytes to the host's socket in one frame, then read the reply. */
#include <fcntl.h>
#include <sys/stat.h>

#include "bench_socket.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  int file = open(argv[1], O_RDONLY);
  struct stat status;
  if (file < 0 || fstat(file, &status) != 0) return 1;
  size_t size = (size_t)status.st_size;
  unsigned char* bytes = malloc(size ? size : 1);
  if (!bytes || bench_read_all(file, bytes, size) != 0) return 1;
  close(file);

  size_t textSize = (size + 2) / 3 * 4;
  unsigned char* frame = malloc(8 + textSize);
  if (!frame) return 1;
  bench_base64(bytes, size, (char*)frame + 8);
  bench_put_u32(frame, 0);
  bench_put_u32(frame + 4, (uint32_t)textSize);

  struct sockaddr_un address;
  if (bench_socket_address(&address) != 0) return 1;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, (struct sockaddr*)&address, sizeof address) != 0) return 1;
  if (bench_write_all(fd, frame, 8 + textSize) != 0) return 1;
  unsigned char header[4];
  if (bench_read_all(fd, header, 4) != 0) return 1;
  close(fd);
  return 0;
}
