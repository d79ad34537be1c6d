#!/usr/bin/env node
// node-pdu as a second PDU decoder for the cross-check test: reads a JSON list of PDU hex strings
// on standard input, writes a JSON list of what it reads in them. It decodes the GSM extension
// characters right where gammu's own decoder does not.
'use strict';
const pdu = require('node-pdu');

function decode(hex) {
  const m = pdu.parse(hex);
  if (!m.data) {
    // A status report carries no user data: the two time stamps and the status.
    return {
      phone: m.address.phone,
      international: m.address.type.type === 1,
      time: m.dateTime.getIsoString(),
      discharge: m.discharge.getIsoString(),
      status: m.status,
    };
  }
  const part = m.data.parts[0];
  return {
    phone: m.address.phone,
    international: m.address.type.type === 1,
    text: m.data.getText(),
    statusReportRequest: m.type.statusReportRequest,
    userDataHeader: m.type.userDataHeader,
    concat: part && part.header ? part.header : null,
    time: m.serviceCenterTimeStamp ? m.serviceCenterTimeStamp.getIsoString() : null,
  };
}

let input = '';
process.stdin.setEncoding('utf8');
process.stdin.on('data', (chunk) => { input += chunk; });
process.stdin.on('end', () => {
  process.stdout.write(JSON.stringify(JSON.parse(input).map(decode)));
});
