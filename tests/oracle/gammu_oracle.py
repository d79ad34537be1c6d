#!/usr/bin/env python3
"""gammu as an independent PDU codec for the cross-check test.

Reads one JSON request on standard input:
  {"decode": [pdu hex, ...],
   "deliver": [{"number", "text" | "data_hex", "coding", "time", "udh": {...}}, ...]}
and writes {"decoded": [...], "delivered": [pdu hex, ...]} on standard output.
"""
import binascii
import datetime
import json
import sys

import gammu

# A decoded SMS-DELIVER gives every key EncodePDU wants; each request overrides its fields.
TEMPLATE = gammu.DecodePDU(binascii.unhexlify(
    "07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07"), True)


def iso(value):
    return value.isoformat() if isinstance(value, datetime.datetime) else None


def decode(pdu_hex):
    sms = gammu.DecodePDU(binascii.unhexlify(pdu_hex), True)
    udh = sms["UDH"]
    text = sms["Text"]
    return {
        "type": sms["Type"],
        "number": sms["Number"],
        "smsc": sms["SMSC"]["Number"],
        "coding": sms["Coding"],
        "text": text if isinstance(text, str) else binascii.hexlify(text).decode().upper(),
        "time": iso(sms["DateTime"]),
        "smsc_time": iso(sms["SMSCDateTime"]),
        "udh": udh["Type"],
        "ref": udh["ID8bit"] if udh["ID8bit"] >= 0 else udh["ID16bit"],
        "parts": udh["AllParts"],
        "part": udh["PartNumber"],
    }


def udh_of(entry):
    if not entry:
        return {"Type": "NoUDH", "Text": b""}
    ref, parts, part = entry["ref"], entry["parts"], entry["part"]
    if entry.get("ref16"):
        text = bytes([6, 8, 4, ref >> 8, ref & 0xFF, parts, part])
        return {"Type": "ConcatenatedMessages16bit", "Text": text, "ID16bit": ref,
                "PartNumber": part, "AllParts": parts}
    return {"Type": "ConcatenatedMessages", "Text": bytes([5, 0, 3, ref, parts, part]),
            "ID8bit": ref, "PartNumber": part, "AllParts": parts}


def deliver(entry):
    sms = dict(TEMPLATE)
    sms["Number"] = entry["number"]
    sms["Coding"] = entry["coding"]
    sms["Text"] = binascii.unhexlify(entry["data_hex"]) if "data_hex" in entry else entry["text"]
    sms["DateTime"] = datetime.datetime.fromisoformat(entry["time"])
    sms["UDH"] = udh_of(entry.get("udh"))
    return binascii.hexlify(gammu.EncodePDU(sms, "Deliver")).decode().upper()


def main():
    request = json.load(sys.stdin)
    json.dump({"decoded": [decode(p) for p in request.get("decode", [])],
               "delivered": [deliver(s) for s in request.get("deliver", [])]},
              sys.stdout)  # ASCII escapes: gammu's 7-bit text may hold lone surrogates


if __name__ == "__main__":
    main()
