// CIMD2 test server for the client library's tests, on 127.0.0.1 only. Answers login (01) and
// logout (02); a request with a wrong checksum gets a nack (98).
//   node cimd-peer.js --port 0 --user U --password P [--scenario S]
// Scenarios: ok (a wrong user or password gets 900:100 with the text "Invalid login"),
//   notext (the same, without the 901 text), nochecksum (answers without checksum),
//   split (the answer one byte at a time), badsum (the answer with a wrong checksum),
//   garbage, toolong (20000 bytes without an end of packet), midclose, silent.
'use strict';
const common = require('./common');

const opt = common.options({port: '0', user: 'zelmo', password: 'secret', scenario: 'ok'});
const STX = '\x02';
const ETX = '\x03';
const TAB = '\t';

function checksum(text) {
  let sum = 0;
  for (const c of Buffer.from(text, 'latin1')) sum += c;
  return (sum & 0xff).toString(16).toUpperCase().padStart(2, '0');
}

function packet(operation, number, parameters, withChecksum) {
  let text = STX + operation + ':' + number + TAB;
  for (const [code, value] of parameters) text += code + ':' + value + TAB;
  return text + (withChecksum ? checksum(text) : '') + ETX;
}

function answer(raw) {
  // raw: STX .. ETX
  const body = raw.slice(1, -1);
  const fields = body.split(TAB);
  const head = fields[0].split(':');
  const operation = head[0];
  const number = head[1];
  const sum = fields[fields.length - 1];
  const withChecksum = opt.scenario !== 'nochecksum';
  if (sum.length === 2 && checksum(raw.slice(0, raw.length - 3)) !== sum.toUpperCase()) {
    return packet('98', number, [['900', '2']], withChecksum);
  }
  const params = {};
  for (const f of fields.slice(1, -1)) params[f.slice(0, 3)] = f.slice(4);
  if (operation === '01') {
    if (params['010'] !== opt.user || params['011'] !== opt.password) {
      const error = [['900', '100']];
      if (opt.scenario !== 'notext') error.push(['901', 'Invalid login']);
      return packet('51', number, error, withChecksum);
    }
    return packet('51', number, [], withChecksum);
  }
  if (operation === '02') return packet('52', number, [], withChecksum);
  return packet('99', number, [['900', '1']], withChecksum);
}

const server = common.rawServer((socket, bytes) => {
  socket.inbox = (socket.inbox || '') + bytes.toString('latin1');
  for (;;) {
    const start = socket.inbox.indexOf(STX);
    const end = socket.inbox.indexOf(ETX, start);
    if (start < 0 || end < 0) return;
    const raw = socket.inbox.slice(start, end + 1);
    socket.inbox = socket.inbox.slice(end + 1);
    const good = Buffer.from(answer(raw), 'latin1');
    switch (opt.scenario) {
      case 'split':
        common.sendInPieces(socket, good, 1, 3, false);
        break;
      case 'badsum': {
        const bad = Buffer.from(good);
        bad[bad.length - 2] = bad[bad.length - 2] === 0x30 ? 0x31 : 0x30;
        socket.write(bad);
        break;
      }
      case 'garbage':
        socket.write('HELLO THERE\r\n');
        break;
      case 'toolong':
        socket.write(STX + 'A'.repeat(20000));
        break;
      case 'midclose':
        common.sendInPieces(socket, good.subarray(0, 5), 0, 0, true);
        break;
      case 'silent':
        break;
      default:
        socket.write(good);
        if (raw.startsWith(STX + '02:')) socket.end();
    }
  }
});
server.listen(Number(opt.port), '127.0.0.1');
