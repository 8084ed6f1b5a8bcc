// nolt mcp driven by the official MCP TypeScript SDK client against the real nolt-host on its
// sample library: the tools read real items, save a note and a file, and show the image as an
// image. Uses the SDK that scripts/setup.d/agent.sh installs in tests/agent. Run by ctest with
// NOLT_BIN set.
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

import { waitFor } from '../support/wait.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const sdk = path.join(here, '../agent/node_modules/@modelcontextprotocol/sdk/dist/esm');
let Client, StdioClientTransport;
try {
  ({ Client } = await import(pathToFileURL(path.join(sdk, 'client/index.js'))));
  ({ StdioClientTransport } = await import(pathToFileURL(path.join(sdk, 'client/stdio.js'))));
} catch (error) {
  console.error(`The MCP SDK is not installed; run scripts/setup.d/agent.sh (${error.message})`);
  process.exit(77);
}

const bin = process.env.NOLT_BIN;
assert.ok(bin, 'NOLT_BIN names the built programs');
// Until nolt has its agent server wired in, there is nothing to test here.
const probe = spawnSync(path.join(bin, 'nolt'), ['mcp'], { input: '', encoding: 'utf8' });
if ((probe.stderr || '').includes('built without its MCP server')) {
  console.error('nolt has no MCP server yet; skipped');
  process.exit(77);
}
const scratch = fs.mkdtempSync(path.join(process.env.TMPDIR || os.tmpdir(), 'nolt-host-mcp-'));
const home = path.join(scratch, 'home');
const runtime = path.join(scratch, 'runtime');
for (const dir of [home, runtime]) fs.mkdirSync(dir, { mode: 0o700 });
const session = {
  HOME: home,
  PATH: process.env.PATH,
  XDG_RUNTIME_DIR: runtime,
  XDG_DATA_HOME: path.join(home, '.local/share'),
  XDG_DATA_DIRS: path.join(bin, '../share'),
};

const host = spawn(path.join(bin, 'nolt-host'), ['--demo'], { env: session, stdio: 'inherit' });

// An agent client gives the server little more than HOME and PATH.
const transport = new StdioClientTransport({
  command: path.join(bin, 'nolt'),
  args: ['mcp'],
  env: { HOME: home, PATH: process.env.PATH, XDG_RUNTIME_DIR: runtime },
});
const client = new Client({ name: 'nolt-host-e2e', version: '1.0.0' });
const json = (result) => {
  assert.equal(result.isError, undefined, JSON.stringify(result));
  return JSON.parse(result.content[0].text);
};
try {
  const record = path.join(runtime, 'app.nolt.Nolt.instance');
  await waitFor('nolt-host to finish launching', () => {
    assert.equal(host.exitCode, null, 'nolt-host ended');
    return fs.existsSync(record) && fs.readFileSync(record, 'utf8').startsWith('running');
  }, 15);
  await client.connect(transport);
  const { tools } = await client.listTools();
  assert.equal(tools.length, 11);

  const found = json(await client.callTool({ name: 'search', arguments: { query: '#warm', limit: 2 } }));
  assert.equal(found.items.length, 2);
  assert.equal(found.total, 3);
  const id = found.items[0].id;

  const item = json(await client.callTool({ name: 'get_item', arguments: { id } }));
  assert.equal(item.title, 'Sunset over the hills');

  const image = await client.callTool({ name: 'get_image', arguments: { id, size: 256 } });
  assert.equal(image.isError, undefined, JSON.stringify(image));
  const picture = image.content.find((c) => c.type === 'image');
  assert.ok(picture, JSON.stringify(image.content.map((c) => c.type)));
  assert.equal(picture.mimeType, 'image/jpeg');
  // JPEG's start-of-image marker; the size is the host's to keep.
  assert.deepEqual([...Buffer.from(picture.data, 'base64').subarray(0, 2)], [0xff, 0xd8]);

  const taste = json(await client.callTool({ name: 'get_taste', arguments: {} }));
  assert.ok(taste.palette.length > 0 && taste.rules.length > 0);
  const brief = json(await client.callTool({ name: 'get_brief', arguments: { collection: 'Onboarding' } }));
  assert.equal(brief.collection.name, 'Onboarding');
  assert.equal(json(await client.callTool({ name: 'list_spaces', arguments: {} })).length, 2);
  assert.equal(json(await client.callTool({ name: 'list_collections', arguments: { space: 'Work' } })).length, 2);

  const saved = json(await client.callTool({ name: 'add_note', arguments: { text: 'Agents keep radii at 12 px', rule: true } }));
  assert.match(saved.id, /^[0-9A-F-]{36}$/);
  const rules = json(await client.callTool({ name: 'list_notes', arguments: { rules_only: true } }));
  assert.ok(rules.notes.some((n) => n.text === 'Agents keep radii at 12 px'));

  const pdf = path.join(scratch, 'Spec sheet.pdf');
  fs.writeFileSync(pdf, '%PDF-1.4\n%%EOF\n');
  json(await client.callTool({ name: 'add_file', arguments: { path: pdf, tags: ['spec'] } }));
  json(await client.callTool({ name: 'add_link', arguments: { url: 'https://example.com/agents', note: 'from an agent' } }));
  const spec = json(await client.callTool({ name: 'search', arguments: { query: '#spec' } }));
  assert.equal(spec.items[0].title, 'Spec sheet');

  const failed = await client.callTool({ name: 'get_item', arguments: { id: 'nope' } });
  assert.equal(failed.isError, true);
  assert.match(failed.content[0].text, /isn't an item ID/);
  console.log('nolt mcp with the SDK client against nolt-host: all checks passed');
} finally {
  await client.close().catch(() => {});
  host.kill('SIGTERM');
  await new Promise((resolve) => host.exitCode !== null ? resolve() : host.once('exit', resolve));
  fs.rmSync(scratch, { recursive: true, force: true });
}
