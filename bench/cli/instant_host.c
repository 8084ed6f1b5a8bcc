/* bench/cli/instant_host.c - a host that answers at once: it reads each request frame whole
 * and replies with the same payload every time, so that a timed client's run is all client.
 * Usage: instant_host REPLY_FILE READY_FILE, with XDG_RUNTIME_DIR set; serves until killed. */
#define _GNU_SOURCE /* accept4 */
#include <fcntl.h>
#include <sys/stat.h>

#include "bench_socket.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  FILE* f = fopen(argv[1], "rb");
  if (!f) return 2;
  static char reply[1 << 20];
  size_t replySize = fread(reply + 4, 1, sizeof reply - 4, f);
  fclose(f);
  bench_put_u32((unsigned char*)reply, (uint32_t)replySize);

  struct sockaddr_un address;
  if (bench_socket_address(&address) != 0) return 2;
  unlink(address.sun_path);
  int server = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (server < 0 || bind(server, (struct sockaddr*)&address, sizeof address) != 0 ||
      listen(server, 64) != 0)
    return 2;
  chmod(address.sun_path, 0600);
  int ready = open(argv[2], O_CREAT | O_WRONLY, 0600);
  if (ready >= 0) close(ready);

  static char sink[1 << 20];
  for (;;) {
    int client = accept4(server, NULL, NULL, SOCK_CLOEXEC);
    if (client < 0) continue;
    unsigned char header[8];
    if (bench_read_all(client, header, 8) == 0) {
      uint32_t left = bench_get_u32(header + 4);
      int ok = 1;
      while (ok && left > 0) {
        uint32_t take = left < sizeof sink ? left : sizeof sink;
        ok = bench_read_all(client, sink, take) == 0;
        left -= take;
      }
      if (ok) bench_write_all(client, reply, replySize + 4);
    }
    close(client);
  }
}
