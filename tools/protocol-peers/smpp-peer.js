// SMPP test server for the client library's tests, on 127.0.0.1 only.
//   node smpp-peer.js --port 0 --user U --password P [--scenario S] [--tls key.pem,cert.pem]
// Scenarios (the server library handles the protocol unless said otherwise):
//   v34      accepts the user; a wrong system id gets ESME_RINVSYSID, a wrong password
//            ESME_RINVPASWD (error responses carry no body)
//   v33      as v34, but answers bind_transceiver with generic_nack, as SMPP 3.3 servers do
//   enquire  as v34, and sends enquire_link before its bind and unbind responses
//   split    (raw) answers every request with a good response sent one byte at a time
//   garbage  (raw) answers with bytes that are no PDU
//   toolong  (raw) answers with a header announcing a 1 MiB PDU
//   midclose (raw) sends half a bind response, then closes
//   silent   (raw) never answers
'use strict';
const smpp = require('smpp');
const common = require('./common');

const opt = common.options({port: '0', user: 'zelmo', password: 'secret', scenario: 'v34'});
const bindCommands = ['bind_transmitter', 'bind_receiver', 'bind_transceiver'];

function libraryServer() {
  const serverOptions = opt.tls ? common.tlsOptions(opt.tls) : {};
  const server = smpp.createServer(serverOptions, (session) => {
    session.on('error', () => {});
    for (const command of bindCommands) {
      session.on(command, (pdu) => {
        if (opt.scenario === 'v33' && command === 'bind_transceiver') {
          session.send(new smpp.PDU('generic_nack', {
            sequence_number: pdu.sequence_number, command_status: smpp.ESME_RINVCMDID}));
          return;
        }
        if (pdu.system_id !== opt.user) {
          session.send(pdu.response({command_status: smpp.ESME_RINVSYSID}));
          return;
        }
        if (pdu.password !== opt.password) {
          session.send(pdu.response({command_status: smpp.ESME_RINVPASWD}));
          return;
        }
        if (opt.scenario === 'enquire') session.send(new smpp.PDU('enquire_link', {}));
        session.send(pdu.response({system_id: 'zelmopeer'}));
      });
    }
    session.on('enquire_link', (pdu) => session.send(pdu.response()));
    session.on('submit_sm', (pdu) => session.send(pdu.response({message_id: 'peer-1'})));
    session.on('unbind', (pdu) => {
      if (opt.scenario === 'enquire') session.send(new smpp.PDU('enquire_link', {}));
      session.send(pdu.response());
      setTimeout(() => session.close(), 50);
    });
  });
  if (opt.tls) {
    server.on('secureConnection', () => {});
    server.on('tlsClientError', () => {});
  }
  common.announce(server);
  server.listen(Number(opt.port), '127.0.0.1');
}

function header(length, id, status, sequence) {
  const b = Buffer.alloc(16);
  b.writeUInt32BE(length, 0);
  b.writeUInt32BE(id, 4);
  b.writeUInt32BE(status, 8);
  b.writeUInt32BE(sequence, 12);
  return b;
}

function rawServer() {
  const server = common.rawServer((socket, bytes) => {
    if (bytes.length < 16) return;
    const id = bytes.readUInt32BE(4);
    const sequence = bytes.readUInt32BE(12);
    const body = Buffer.from('zelmopeer\0', 'ascii');
    const response = Buffer.concat([header(16 + body.length, (id | 0x80000000) >>> 0, 0, sequence),
                                    body]);
    switch (opt.scenario) {
      case 'split':
        common.sendInPieces(socket, response, 1, 5, false);
        break;
      case 'garbage':
        socket.write(Buffer.from([0, 0, 0, 5, 0x41, 0x42, 0x43, 0x44, 0x45]));
        break;
      case 'toolong':
        socket.write(header(0x100000, (id | 0x80000000) >>> 0, 0, sequence));
        break;
      case 'midclose':
        common.sendInPieces(socket, response.subarray(0, 12), 0, 0, true);
        break;
      case 'silent':
        break;
    }
  });
  server.listen(Number(opt.port), '127.0.0.1');
}

if (['split', 'garbage', 'toolong', 'midclose', 'silent'].includes(opt.scenario)) {
  rawServer();
} else {
  libraryServer();
}
