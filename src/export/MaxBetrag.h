// The check of each booking's payment amount (amount less discount) against
// the supplier's maximum invoice amount; it only adds protocol rows.
#pragma once

#include "basis/Bediener.h"
#include "basis/Konfiguration.h"
#include "input/ULieferanten.h"
#include "protocol/UProtokoll.h"
#include "util/TextGrid.h"

namespace belvanto {

// Adds "Rechnungsbetrag zu hoch" for every booking above its maximum. Amount
// and discount are read without one leading and one trailing double quote; the
// grid stays as it is. A booking whose amount, discount, date or maximum is no
// valid value is left out of the comparison.
void MaxBetragPruefen(const TextGrid& BuchungsGrid, Lieferanten& lieferanten,
                      const Konfiguration& konfiguration, Protokoll& protokoll, Bediener& bediener);

}  // namespace belvanto
