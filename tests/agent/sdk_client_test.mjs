// nolt mcp driven by the official MCP TypeScript SDK client, against the stand-in host:
// connect, ping, list the tools, call them, and see the host's failures arrive as error
// results. Run by ctest with NOLT_BIN and NOLT_TEST_BIN set; needs `npm ci` in this folder
// (scripts/setup.d/agent.sh), and exits 77, which ctest reports as skipped, without it.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { waitFor } from '../support/wait.mjs';

let Client, StdioClientTransport;
try {
  ({ Client } = await import('@modelcontextprotocol/sdk/client/index.js'));
  ({ StdioClientTransport } = await import('@modelcontextprotocol/sdk/client/stdio.js'));
} catch (error) {
  console.error(`The MCP SDK is not installed; run scripts/setup.d/agent.sh (${error.message})`);
  process.exit(77);
}

const bin = process.env.NOLT_BIN;
const testBin = process.env.NOLT_TEST_BIN;
assert.ok(bin && testBin, 'NOLT_BIN and NOLT_TEST_BIN name the built programs');

const scratch = fs.mkdtempSync(path.join(process.env.TMPDIR || os.tmpdir(), 'nolt-sdk-'));
const home = path.join(scratch, 'home');
const runtime = path.join(scratch, 'runtime');
const noApplications = path.join(scratch, 'share');
for (const dir of [home, runtime, noApplications]) fs.mkdirSync(dir, { mode: 0o700 });

// A 1x1 PNG; the host sends images as Base64 text.
const png = Buffer.from(
  'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR4nGNgYGD4DwABBAEAwS2OUAAAAABJRU5ErkJggg==',
  'base64');
const searchResult = { items: [{ id: 'A1', title: 'Blue chair / studio', tags: ['blue'] }], total: 1 };
const replies = {
  search: { result: searchResult },
  image: { result: { data: png.toString('base64'), mimeType: 'image/png' } },
  add_file: { result: { id: 'F1' } },
  item: { error: 'No item has the ID “Z”.' },
};
fs.writeFileSync(path.join(scratch, 'replies.json'), JSON.stringify(replies));
const record = path.join(scratch, 'requests.txt');
const ready = path.join(scratch, 'ready');

// The desktop session's environment, confined to the scratch folder.
const session = {
  HOME: home,
  PATH: process.env.PATH,
  XDG_RUNTIME_DIR: runtime,
  XDG_DATA_HOME: path.join(home, '.local/share'),
  XDG_DATA_DIRS: noApplications,
};
const host = spawn(path.join(testBin, 'test_host'),
  ['--replies', path.join(scratch, 'replies.json'), '--record', record, '--ready-file', ready],
  { env: session, stdio: 'inherit' });

function stopHost() {
  if (host.exitCode !== null || host.signalCode !== null) return Promise.resolve();
  const exited = new Promise((resolve) => host.once('exit', resolve));
  host.kill('SIGTERM');
  return exited;
}
function requests() {
  return fs.readFileSync(record, 'utf8').split('\n').filter(Boolean).map((l) => JSON.parse(l));
}
const text = (result) => {
  assert.equal(result.content.length, 1);
  assert.equal(result.content[0].type, 'text');
  return result.content[0].text;
};

let client;
let serverErrors = '';
try {
  await waitFor('test_host to start', () => {
    assert.equal(host.exitCode, null, 'test_host ended');
    return fs.existsSync(ready);
  }, 10);

  // An agent client's environment: the six variables clients pass on, and the session's
  // folders so that nothing outside the scratch folder is used.
  const transport = new StdioClientTransport({
    command: path.join(bin, 'nolt'),
    args: ['mcp'],
    env: { ...session, SHELL: '/bin/sh', TERM: 'dumb', USER: 'agent', LOGNAME: 'agent' },
    stderr: 'pipe',
  });
  transport.stderr.on('data', (chunk) => { serverErrors += chunk; });
  client = new Client({ name: 'nolt-e2e', version: '1.0.0' });
  await client.connect(transport);

  assert.deepEqual(client.getServerVersion(), { name: 'nolt', version: '1.0' });
  assert.deepEqual(client.getServerCapabilities(), { tools: {} });
  assert.match(client.getInstructions(), /^Nolt is the user's library/);
  assert.deepEqual(await client.ping(), {});

  const { tools } = await client.listTools();
  assert.deepEqual(tools.map((t) => t.name), [
    'search', 'get_item', 'get_image', 'get_taste', 'get_brief', 'list_notes', 'list_spaces',
    'list_collections', 'add_link', 'add_file', 'add_note']);
  assert.deepEqual(tools.filter((t) => !t.annotations.readOnlyHint).map((t) => t.name),
    ['add_link', 'add_file', 'add_note']);

  // Arguments reach the host untouched; the result comes back as pretty JSON.
  const search = await client.callTool({ name: 'search', arguments: { query: 'blue', limit: 500 } });
  assert.equal(search.isError, undefined);
  assert.deepEqual(JSON.parse(text(search)), searchResult);
  assert.match(text(search), /\n {2}"items"/);
  assert.deepEqual(requests().at(-1), { command: 'search', arguments: { query: 'blue', limit: 500 } });

  const image = await client.callTool({ name: 'get_image', arguments: { id: 'A1' } });
  assert.deepEqual(image.content, [{ type: 'image', data: png.toString('base64'), mimeType: 'image/png' }]);

  // The host receives the file itself, never its path.
  const file = path.join(scratch, 'board.png');
  fs.writeFileSync(file, png);
  const added = await client.callTool({
    name: 'add_file', arguments: { path: file, collection: 'Site', tags: ['ref'] } });
  assert.equal(added.isError, undefined, text(added));
  assert.deepEqual(requests().at(-1), {
    command: 'add_file',
    arguments: { name: 'board.png', data: png.toString('base64'), collection: 'Site', tags: ['ref'] },
  });

  // Failures are tool results marked isError, with the texts people see.
  const missing = await client.callTool({ name: 'add_file', arguments: { path: file + '.gone.png' } });
  assert.equal(missing.isError, true);
  assert.equal(text(missing), `Can't read ${file}.gone.png.`);
  const item = await client.callTool({ name: 'get_item', arguments: { id: 'Z' } });
  assert.equal(item.isError, true);
  assert.equal(text(item), 'No item has the ID “Z”.');
  const notObject = await client.request(
    { method: 'tools/call', params: { name: 'get_item', arguments: ['Z'] } },
    (await import('@modelcontextprotocol/sdk/types.js')).CallToolResultSchema);
  assert.equal(text(notObject), 'Arguments must be an object.');
  await assert.rejects(client.callTool({ name: 'delete_everything', arguments: {} }),
    (error) => error.code === -32602 && /Unknown tool/.test(error.message));

  await stopHost();
  const gone = await client.callTool({ name: 'list_spaces', arguments: {} });
  assert.equal(gone.isError, true);
  assert.equal(text(gone), "Couldn't open Nolt.");

  assert.equal(serverErrors, '', 'nolt mcp wrote to standard error');
  console.log('nolt mcp: the SDK client connected, listed 11 tools and called them');
} finally {
  if (client) await client.close();
  await stopHost();
  fs.rmSync(scratch, { recursive: true, force: true });
}
