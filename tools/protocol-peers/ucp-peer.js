// UCP/EMI test server for the client library's tests, on 127.0.0.1 only. Answers operation 60
// (session management) as an SMSC does; requests with a wrong length or checksum get a negative
// answer with error code 01 or 02.
//   node ucp-peer.js --port 0 --user U --password P [--scenario S]
// Scenarios: ok (a wrong user gets "N/06/", a wrong password "N/07/Authentication failure"),
//   split (the answer one byte at a time), badsum (the answer with a wrong checksum),
//   garbage, toolong (200000 bytes without an end of frame), midclose (half an answer, then
//   close), silent (no answer).
'use strict';
const common = require('./common');

const opt = common.options({port: '0', user: 'zelmo', password: 'secret', scenario: 'ok'});
const STX = '\x02';
const ETX = '\x03';

function checksum(text) {
  let sum = 0;
  for (const c of Buffer.from(text, 'latin1')) sum += c;
  return (sum & 0xff).toString(16).toUpperCase().padStart(2, '0');
}

function frame(trn, kind, operation, fields) {
  const data = kind + '/' + operation + '/' + fields.map((f) => f + '/').join('');
  const length = String(2 + 1 + 5 + 1 + data.length + 2).padStart(5, '0');
  const text = trn + '/' + length + '/' + data;
  return STX + text + checksum(text) + ETX;
}

function answer(text) {
  const parts = text.split('/');
  const [trn, length, kind, operation] = parts;
  if (!/^\d\d$/.test(trn) || kind !== 'O') return null;
  if (Number(length) !== text.length) return frame(trn, 'R', operation, ['N', '02', 'Length']);
  const sum = parts[parts.length - 1];
  if (checksum(text.slice(0, text.length - 2)) !== sum) {
    return frame(trn, 'R', operation, ['N', '01', 'Checksum']);
  }
  if (operation !== '60') return frame(trn, 'R', operation, ['N', '03', '']);
  const [oadc, , , styp, pwd] = parts.slice(4);
  const password = Buffer.from(pwd || '', 'hex').toString('latin1');
  if (styp !== '1') return frame(trn, 'R', '60', ['N', '02', 'STYP']);
  if (oadc !== opt.user) return frame(trn, 'R', '60', ['N', '06', '']);
  if (password !== opt.password) {
    return frame(trn, 'R', '60', ['N', '07', 'Authentication failure']);
  }
  return frame(trn, 'R', '60', ['A', '']);
}

const server = common.rawServer((socket, bytes) => {
  socket.inbox = (socket.inbox || '') + bytes.toString('latin1');
  for (;;) {
    const start = socket.inbox.indexOf(STX);
    const end = socket.inbox.indexOf(ETX, start);
    if (start < 0 || end < 0) return;
    const text = socket.inbox.slice(start + 1, end);
    socket.inbox = socket.inbox.slice(end + 1);
    const reply = answer(text);
    if (reply === null) continue;
    const good = Buffer.from(reply, 'latin1');
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
        socket.write(STX + 'A'.repeat(200000));
        break;
      case 'midclose':
        common.sendInPieces(socket, good.subarray(0, 8), 0, 0, true);
        break;
      case 'silent':
        break;
      default:
        socket.write(good);
    }
  }
});
server.listen(Number(opt.port), '127.0.0.1');
