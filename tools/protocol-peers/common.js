// Shared parts of the test peers: command-line options, listening on 127.0.0.1 (port 0 picks a
// free one) and announcing the port on standard output as "LISTENING <port>", raw replies sent in
// pieces.
'use strict';
const fs = require('fs');
const net = require('net');

// --name value pairs into an object; "--tls key.pem,cert.pem" becomes {tls: 'key.pem,cert.pem'}.
function options(defaults) {
  const out = Object.assign({}, defaults);
  const argv = process.argv.slice(2);
  for (let i = 0; i < argv.length; i += 2) {
    out[argv[i].replace(/^--/, '')] = argv[i + 1];
  }
  return out;
}

function announce(server) {
  server.on('listening', () => {
    process.stdout.write('LISTENING ' + server.address().port + '\n');
  });
}

function tlsOptions(files) {
  const [key, cert] = files.split(',');
  return {key: fs.readFileSync(key), cert: fs.readFileSync(cert)};
}

// Writes `bytes` in pieces of `chunk` bytes, `delay` ms apart (all at once when chunk is 0), then
// closes the socket when `close` is set.
function sendInPieces(socket, bytes, chunk, delay, close) {
  if (!chunk) {
    socket.write(bytes);
    if (close) socket.end();
    return;
  }
  let at = 0;
  const next = () => {
    if (socket.destroyed) return;
    if (at >= bytes.length) {
      if (close) socket.end();
      return;
    }
    socket.write(bytes.subarray(at, at + chunk));
    at += chunk;
    setTimeout(next, delay);
  };
  next();
}

// A plain TCP server whose sessions get `onData(socket, bytes)` for everything received.
function rawServer(onData) {
  const server = net.createServer((socket) => {
    socket.on('error', () => {});
    socket.on('data', (bytes) => onData(socket, bytes));
  });
  announce(server);
  return server;
}

process.on('SIGTERM', () => process.exit(0));

module.exports = {options, announce, tlsOptions, sendInPieces, rawServer};
