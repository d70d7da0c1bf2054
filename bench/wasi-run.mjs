// Runs a command-line WebAssembly program (WASI) in Node.js: the web
// edition's engine timing program.   node wasi-run.mjs program.wasm [args]
import { WASI } from 'node:wasi';
import fs from 'node:fs';

process.removeAllListeners('warning');  // node:wasi is marked experimental
const wasi = new WASI({ version: 'preview1', args: [process.argv[2], ...process.argv.slice(3)] });
const { instance } = await WebAssembly.instantiate(fs.readFileSync(process.argv[2]), wasi.getImportObject());
process.exitCode = wasi.start(instance);
