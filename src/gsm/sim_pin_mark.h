#pragma once

#include <QString>

namespace kolvane {

class GatewayContext;

// A SIM locks after three wrong PINs, whatever program or run entered them. The setting
// SimPinRefused holds a digest of the PIN last entered (never the PIN): it is written before the
// PIN goes out and emptied when the SIM takes it, so a PIN refused, or one whose answer never
// came, is not entered again while it matches SimPin — in this run or any later one.

// A salted PBKDF2 digest of the PIN, and whether a digest is of this PIN.
QString PinDigest(const QString& pin);
bool DigestMatches(const QString& digest, const QString& pin);

// SimPinRefused matches SimPin: the PIN must not be entered.
bool PinMarked(const GatewayContext& gateway);
// Writes the mark of SimPin into the settings file at once; false when the file cannot be
// written (the PIN is then not entered).
bool MarkPin(GatewayContext& gateway);
// The SIM took the PIN.
void ClearPinMark(GatewayContext& gateway);

}  // namespace kolvane
