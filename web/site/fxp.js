// The standard preset file (.fxp) in its opaque-chunk form, as the plug-in's
// hosts and the render tool write it: 'CcnK', the byte count after that field,
// 'FPCh', format version 1, the plug-in's ID and version, its parameter
// count, a 28-byte program name and the state block, all big-endian. Reading
// one is the render tool's rule, compiled into the module (hl2_is_preset_file).
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
