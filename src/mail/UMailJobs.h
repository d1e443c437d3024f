// The mails of a run besides the remittance advice: the settlement statements
// with the information mail at the end of a run, and the invoice copies of
// each booking file. Failed mails are shown by the mail sender; the jobs go on.
#pragma once

#include <string>

#include "basis/Bediener.h"
#include "basis/Konfiguration.h"
#include "mail/UMailUnit.h"

namespace belvanto {

// The fixed address of the information mail: "belvanto@" and the domain of
// the sender address.
std::string infoMailAdresse(const std::string& MailAbsender);

// The settlement mail with every PDF of W/ZRAbr to EmpfaengerAbrechnung, then
// the information mail. Returns the settlement-statements counter: the number
// of PDFs attached.
int AbrechnungsMailSenden(const Konfiguration& k, MailVersand& versand, Bediener& b);

// The invoice copies mail with every PDF of W/Belege to EmpfaengerRNKopie.
void LadenMailSenden(const Konfiguration& k, MailVersand& versand, Bediener& b);

}  // namespace belvanto
