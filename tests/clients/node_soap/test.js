// The npm soap client against the published WSDL, run with `node --test`.
//
// node soap qualifies RPC calls with the WSDL's target namespace (not the binding's), sends
// no xsi:type, and turns a value element that carries any attribute into an object; the
// server answers untyped values so that results read as plain strings. Without the option
// preserveWhitespace it trims text, so the clients here set it.
'use strict';

const assert = require('node:assert/strict');
const {spawn} = require('node:child_process');
const readline = require('node:readline');
const {after, before, describe, test} = require('node:test');
const soap = require('soap');

const SPECIAL_STRINGS = [
  '',
  'CR LF\r\nline two\r\n',
  'lone LF\nlone CR\rtab\tend',
  '  leading and trailing spaces  ',
  '<tag attr="v">&amp; & \'single\' "double"</tag> ]]>',
  'čšž ČŠŽ € 😀',
];
const BIG_STRING = '<ROW A="1" B=\'č\'/>\r\n'.repeat(52429).slice(0, 1 << 20);

// node soap keeps one parsed WSDL per address for all its clients, options included:
// every client here must be made with the same options.
const OPTIONS = {
  preserveWhitespace: true
};

let server;
let exited;
let stderr = '';
const clients = {};

async function startServer() {
  const binary = process.env.ZORAS_SOAP_TEST_SERVER;
  assert.ok(binary, 'ZORAS_SOAP_TEST_SERVER must name the soap_test_server binary');
  server = spawn(binary, ['0'], {stdio: ['ignore', 'pipe', 'pipe']});
  server.stderr.on('data', (d) => (stderr += d));
  exited = new Promise((resolve) => server.on('exit', (code, signal) => resolve({code, signal})));
  const lines = readline.createInterface({input: server.stdout});
  const first = await new Promise((resolve, reject) => {
    lines.once('line', resolve);
    server.once('exit', () => reject(new Error('soap_test_server did not start: ' + stderr)));
  });
  assert.match(first, /^\d+$/);
  return `http://127.0.0.1:${first}`;
}

async function fault(promise) {
  try {
    await promise;
  } catch (e) {
    assert.ok(e.root, 'not a SOAP fault: ' + e.message);
    return e.root.Envelope.Body.Fault;
  }
  assert.fail('the call did not fail');
}

describe('node soap client', () => {
  before(async () => {
    const base = await startServer();
    for (const name of ['IZORPoslovalnica', 'IZORCentrala', 'IRAVOravuv'])
      clients[name] = await soap.createClientAsync(`${base}/wsdl/${name}`, OPTIONS);
  });

  after(async () => {
    server.kill('SIGTERM');
    const {code, signal} = await exited;
    assert.equal(code, 0, `soap_test_server ended with ${code ?? signal}:\n${stderr}`);
  });

  test('WSDL of every interface loads with all operations', async () => {
    const counts = {IZORPoslovalnica: 38, IZORCentrala: 18, IRAVOravuv: 1};
    for (const [name, count] of Object.entries(counts)) {
      const ports = clients[name].describe()[`${name}service`];
      assert.equal(Object.keys(ports[`${name}Port`]).length, count, name);
    }
    const [hq] = await clients.IZORCentrala.LoginAsync({AUsername: 'hq', APassword: 'x'});
    assert.deepEqual(hq, {return: 'C:hq'});
  });

  test('function result and var params', async () => {
    const branch = clients.IZORPoslovalnica;
    const [login] = await branch.LoginAsync({AUsername: 'U1', APassword: 'pč'});
    assert.deepEqual(login, {return: 'USR=U1;PWD=pč'});
    const [orders] =
        await branch.GetOrdersAsync({AXMLDPRequest: '<REQ/>', AXMLMPDPResponse: 'old'});
    assert.deepEqual(orders, {return: '<REQ/>', AXMLMPDPResponse: '[old]<REQ/>'});
    const [clientsPage] = await branch.GetClientsAsync({
      AKrtBnk: 'K',
      AIme: 'I',
      ANzv: 'N',
      APriimek: 'P',
      AMTS: 'M',
      ADVS: 'D',
      APage: '3',
      APages: '9',
    });
    assert.deepEqual(clientsPage, {return: 'K|I|N|P|M|D|3', APages: 'pages:3/9'});
  });

  test('integer and boolean parameters and results', async () => {
    const branch = clients.IZORPoslovalnica;
    assert.deepEqual((await branch.GetUstreznostAsync({ASfOsb: 1, ASfVp: 2}))[0], {return: true});
    assert.deepEqual(
        (await branch.GetUstreznostAsync({ASfOsb: 2147483647, ASfVp: -2147483648}))[0], {
          return: false,
        });
    assert.equal(
        (await branch.DeleteTransactionAsync({AIdNetNrc: '17', OnlyByStat_0: true}))[0], null);
    const f = await fault(branch.DeleteTransactionAsync({AIdNetNrc: 'report', OnlyByStat_0: true}));
    assert.equal(f.faultstring, 'DeleteTransaction AIdNetNrc=report OnlyByStat_0=true');
  });

  test('session header arrives; a parameterless call takes null', async () => {
    const branch = await soap.createClientAsync(clients.IZORPoslovalnica.wsdl.uri, OPTIONS);
    assert.equal(
        (await fault(branch.GetObvestiloAsync({ASif: '1'}))).faultstring, 'No session header');
    const cookie = 'SID=12;USR=U1 & <č>';
    branch.addSoapHeader({TCookieSOAPHeader: {Cookie: cookie}}, '', 'h', 'urn:UCookieSOAPHeader');
    assert.deepEqual((await branch.GetObvestiloAsync({ASif: '1'}))[0], {return: cookie});
    // node soap refuses {} for an operation without parameters; null sends an empty call.
    assert.equal((await branch.LogoutAsync(null))[0], null);
  });

  test('ordinary fault', async () => {
    const f = await fault(clients.IZORPoslovalnica.LoginAsync({AUsername: 'fail', APassword: 'x'}));
    assert.equal(f.faultcode, 'SOAP-ENV:Server');
    assert.equal(f.faultstring, 'Login failed for <fail> & "friends": ni dovoljenja (č)');
    assert.equal(f.detail, undefined);
  });

  test('detail fault', async () => {
    const f =
        await fault(clients.IZORPoslovalnica.LoginAsync({AUsername: 'expired', APassword: '42'}));
    assert.equal(f.faultstring, 'Password has expired');
    assert.equal(f.detail.EPasswordExpiredException.SID, 'SID-42');
    assert.equal(f.detail.EPasswordExpiredException.USR, 'expired');
  });

  test('special strings are preserved both ways', async () => {
    for (const s of SPECIAL_STRINGS) {
      const [echo] = await clients.IRAVOravuv.PrepareResponseAsync({ARequest: s});
      assert.deepEqual(echo, {return: s}, JSON.stringify(s));
      const [orders] =
          await clients.IZORPoslovalnica.GetOrdersAsync({AXMLDPRequest: s, AXMLMPDPResponse: s});
      assert.deepEqual(orders, {return: s, AXMLMPDPResponse: `[${s}]${s}`}, JSON.stringify(s));
    }
  });

  test('big string', async () => {
    const [orders] = await clients.IZORPoslovalnica.GetOrdersAsync({
      AXMLDPRequest: BIG_STRING,
      AXMLMPDPResponse: 'v',
    });
    assert.ok(orders.return === BIG_STRING, 'return differs');
    assert.ok(orders.AXMLMPDPResponse === '[v]' + BIG_STRING, 'var differs');
  });
});
