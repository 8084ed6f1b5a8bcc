/* bench/cli/add_streamed_floor.c - the streamed floor for `nolt add FILE`: the frame's length
 * from the file's size, then read 768 KiB, Base64 it, write it to the host's socket, repeat;
 * then read the reply. Nothing is held but one chunk and its text. */
#include "bench_socket.h"

enum { kChunk = 768 * 1024 }; /* a multiple of 3, so only the last chunk is padded */

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  size_t size;
  int file = bench_open_file(argv[1], &size);
  if (file < 0) return 1;
  static unsigned char chunk[kChunk];
  static char text[kChunk / 3 * 4];

  int fd = bench_connect();
  if (fd < 0) return 1;
  unsigned char header[8];
  bench_put_u32(header, 0);
  bench_put_u32(header + 4, (uint32_t)((size + 2) / 3 * 4));
  if (bench_write_all(fd, header, 8) != 0) return 1;
  for (size_t done = 0; done < size;) {
    size_t want = size - done < kChunk ? size - done : kChunk;
    if (bench_read_all(file, chunk, want) != 0) return 1;
    char* end = bench_base64(chunk, want, text);
    if (bench_write_all(fd, text, (size_t)(end - text)) != 0) return 1;
    done += want;
  }
  close(file);
  if (bench_read_all(fd, header, 4) != 0) return 1;
  close(fd);
  return 0;
}
