/* bench/cli/add_floor.c - the floor for `nolt add FILE`: read the file into memory, Base64 it,
 * and write the bytes to the host's socket in one frame, then read the reply. */
#include "bench_socket.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  size_t size;
  int file = bench_open_file(argv[1], &size);
  if (file < 0) return 1;
  unsigned char* bytes = malloc(size ? size : 1);
  if (!bytes || bench_read_all(file, bytes, size) != 0) return 1;
  close(file);

  size_t textSize = (size + 2) / 3 * 4;
  unsigned char* frame = malloc(8 + textSize);
  if (!frame) return 1;
  bench_base64(bytes, size, (char*)frame + 8);
  bench_put_u32(frame, 0);
  bench_put_u32(frame + 4, (uint32_t)textSize);

  int fd = bench_connect();
  if (fd < 0) return 1;
  if (bench_write_all(fd, frame, 8 + textSize) != 0) return 1;
  unsigned char header[4];
  if (bench_read_all(fd, header, 4) != 0) return 1;
  close(fd);
  return 0;
}
