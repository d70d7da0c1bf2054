// The standard preset file (.fxp) in its opaque-chunk form, as the plug-in's
// hosts and the render tool write it: 'CcnK', the byte count after that field,
// 'FPCh', format version 1, the plug-in's ID and version, its parameter
// count, a 28-byte program name and the state block, all big-endian.
const kHeader = 60;
const four = (s) => [...s].reduce((n, c) => (n << 8) | c.charCodeAt(0), 0);

export function encodeFxp({ pluginId, pluginVersion, count, name, chunk }) {
  const bytes = new Uint8Array(kHeader + chunk.length);
  const view = new DataView(bytes.buffer);
  [four('CcnK'), bytes.length - 8, four('FPCh'), 1, pluginId, pluginVersion, count].forEach((v, i) =>
    view.setInt32(i * 4, v));
  for (let i = 0; i < Math.min(name.length, 27); ++i) bytes[28 + i] = name.charCodeAt(i) & 0xff;
  view.setInt32(56, chunk.length);
  bytes.set(chunk, kHeader);
  return bytes;
}

// The file's program name and state block; throws with a reason when the file
// is not a chunk preset of this plug-in.
export function decodeFxp(bytes, pluginId) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const int = (i) => view.getInt32(i * 4);
  if (bytes.length < kHeader || int(0) !== four('CcnK')) throw new Error('not a preset file');
  if (int(2) !== four('FPCh')) throw new Error('not a preset of the opaque kind this instrument saves');
  if (int(4) !== pluginId) throw new Error('a preset of another plug-in');
  if (int(1) !== bytes.length - 8 || int(14) !== bytes.length - kHeader) throw new Error('damaged (its sizes do not match)');
  let name = '';
  for (let i = 28; i < 56 && bytes[i]; ++i) name += String.fromCharCode(bytes[i]);
  return { name, chunk: bytes.slice(kHeader) };
}
