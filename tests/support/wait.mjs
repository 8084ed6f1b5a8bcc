// tests/support/wait.mjs - the one bounded wait of the Node.js tests: asks `probe` until it
// gives something truthy, and gives that; throws, naming `what`, once `seconds` have passed.
// A probe that throws ends the wait with its error (a program it waits on has died).
export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export async function waitFor(what, probe, seconds = 30, intervalMs = 50) {
  const deadline = Date.now() + seconds * 1000;
  for (;;) {
    const value = await probe();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out after ${seconds} s waiting for ${what}`);
    await sleep(intervalMs);
  }
}
