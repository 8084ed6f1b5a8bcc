// A minimal MCP server written with the TypeScript SDK, with nolt's eleven tool names: the
// reference that nolt mcp is timed against. Its tools answer a fixed text without a host.
import { McpServer } from '@modelcontextprotocol/sdk/server/mcp.js';
import { StdioServerTransport } from '@modelcontextprotocol/sdk/server/stdio.js';

const server = new McpServer({ name: 'reference', version: '1.0' });
const names = ['search', 'get_item', 'get_image', 'get_taste', 'get_brief', 'list_notes',
  'list_spaces', 'list_collections', 'add_link', 'add_file', 'add_note'];
for (const name of names) {
  server.registerTool(name, { description: `The ${name} tool.` },
    async () => ({ content: [{ type: 'text', text: '{}' }] }));
}
await server.connect(new StdioServerTransport());
