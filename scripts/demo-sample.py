"""The demo's sample settlement, its settings, and the check of what a run made of them.

write DEMO --sftp-port P --smtp-port P: lays out a settlement of the cooperative
in DEMO/server (ZRBELEG, ZRABR, REMADV beside the login folder "home"), the
supplier mapping and Belvanto.ini in DEMO, and the working, backup and output
folders. Everything is made up, in the cooperative's byte form (Windows-1252,
CR LF); the PDFs are small real PDFs. One supplier is missing from the mapping,
so the run asks for it once.

check DEMO: says where the archives, the backup, the mails and the protocol
ended up and whether the run really succeeded; exit status 0 only then.

logins: the servers' user names and passwords as shell assignments.

Run with /usr/bin/python3; only the standard library is used.
"""

import argparse
import os
import datetime
import email
import email.policy
import pathlib
import shlex
import sys
import zipfile

MITGLIED = "20417"
FIRMA = "Frischemarkt Lindner GmbH & Co. KG"
DOMAIN = "frischemarkt-lindner.de"
SFTP_USER = "mitglied20417"
SFTP_PASSWORD = "Demo-Sftp-2026"
MAIL_USER = "buchhaltung@" + DOMAIN
MAIL_PASSWORD = "Demo-Mail-2026"

# Cooperative number, own number, name (as in DATEV), maximum invoice amount.
LIEFERANTEN = [
    ("10234", "70010", "Molkerei Großhügel eG", "2500,00"),
    ("10871", "70011", "Bäckerei Schäfer & Söhne", "800,00"),
    ("11502", "70012", "Getränke Köhler GmbH", "3000,00"),
    ("12044", "70013", "Obsthof Müller-Lüdenscheidt", "1200,00"),
    ("13390", "70014", "Fleischerei Brückner", "1500,00"),
    ("14718", "70015", "Drogeriewaren Weiß KG", "600,00"),
]
# Not in the mapping: the run asks for it, and the demo answers as a person would.
NEUER_LIEFERANT = ("15236", "70016", "Feinkost Özdemir & Jäger", "1000,00")
NAMEN = dict((l[0], l[2]) for l in LIEFERANTEN + [NEUER_LIEFERANT])

# Per settlement: supplier, invoice number, days before the settlement date,
# lines of (VAT rate, net amount), discount in percent. Negative: credit note.
# {j} is the settlement's year.
RECHNUNGEN = [
    [
        ("10234", "RE-{j}-11873", 9, [("7,00", 1184.35)], 2),
        ("10871", "B-44012", 7, [("7,00", 312.80)], 0),
        ("11502", "GK-775431", 6, [("19,00", 1450.00), ("7,00", 86.40)], 3),
        ("15236", "FK/{j}/0318", 5, [("7,00", 402.15), ("19,00", 96.60)], 2),
        ("12044", "OH-3391", 3, [("7,00", 527.90)], 0),
    ],
    [
        ("10234", "RE-{j}-12406", 11, [("7,00", 1236.70)], 2),
        ("13390", "FB-9021", 8, [("7,00", 864.25)], 0),
        ("14718", "DW-118842", 6, [("19,00", 743.10)], 0),
        ("10871", "B-44187", 5, [("7,00", 298.45)], 0),
        ("11502", "GK-776120", 4, [("19,00", 1312.50), ("7,00", 64.80)], 3),
        ("11502", "GS-776201", 2, [("19,00", -118.40)], 0),
    ],
]


def komma(betrag, tausender=False):
    text = f"{betrag:,.2f}" if tausender else f"{betrag:.2f}"
    return text.replace(",", " ").replace(".", ",").replace(" ", ".")


def datum(tag, jahr4=True):
    return tag.strftime("%d.%m.%Y" if jahr4 else "%d.%m.%y")


def cp1252(pfad, zeilen):
    pfad.parent.mkdir(parents=True, exist_ok=True)
    pfad.write_bytes("".join(z + "\r\n" for z in zeilen).encode("cp1252"))


def pdf(pfad, zeilen):
    """A one-page PDF showing `zeilen` in Helvetica (WinAnsi, so umlauts show)."""
    def pdf_text(z):
        return z.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)").encode("cp1252")

    inhalt = b"BT /F1 11 Tf 14 TL 64 770 Td " + b"".join(
        b"(" + pdf_text(z) + b") Tj T* " for z in zeilen) + b"ET"
    objekte = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
        b"/Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        b"<< /Length %d >>\nstream\n" % len(inhalt) + inhalt + b"\nendstream",
    ]
    daten = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    stellen = []
    for n, obj in enumerate(objekte, 1):
        stellen.append(len(daten))
        daten += b"%d 0 obj\n" % n + obj + b"\nendobj\n"
    xref = len(daten)
    daten += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objekte) + 1)
    daten += b"".join(b"%010d 00000 n \n" % s for s in stellen)
    daten += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (
        len(objekte) + 1, xref)
    pfad.parent.mkdir(parents=True, exist_ok=True)
    pfad.write_bytes(bytes(daten))


def stichtage(heute):
    """The two settlements of last month: on the 15th and on its last day."""
    letzter = heute.replace(day=1) - datetime.timedelta(days=1)
    return [letzter.replace(day=15), letzter]


def zeile_betraege(satz, netto, prozent):
    steuer = round(netto * float(satz.replace(",", ".")) / 100, 2)
    brutto = round(netto + steuer, 2)
    skonto = round(brutto * prozent / 100, 2) if brutto > 0 else 0.0
    return brutto, steuer, skonto


def abrechnung_schreiben(server, n, stichtag, rechnungen):
    """Writes settlement n; returns its payments as rows of a remittance file."""
    zahlungen = []
    tag = stichtag.strftime("%Y%m%d")
    abr_nr = stichtag.strftime("%y%m") + str(n + 1)
    abruf = f"A-{stichtag:%Y}-{abr_nr}"
    valuta = datum(stichtag + datetime.timedelta(days=10))
    buchungen = ['"LiefNr";"RechnungsNr";"Datum";"Art";"MwSt";"Betrag";"Netto";"Steuer";'
                 '"Text";"Skonto"']
    index = ["Dateiname;Belegart;LiefNr;Lieferant;RechnungsDatum;Mitglied;RechnungsNr;Betrag;"
             "AbrNr;AbrDatum;AbrufNr;Waehrung;Seiten;Valuta;Zahlweg;Skonto;Netto;Steuer;Bemerkung"]
    uebersicht, summe = [], 0.0
    for k, (lief, rnr, vorher, zeilen, prozent) in enumerate(rechnungen):
        rnr = rnr.format(j=stichtag.year)
        rdatum = stichtag - datetime.timedelta(days=vorher)
        art = "GS" if zeilen[0][1] < 0 else "RE"
        gesamt = {"brutto": 0.0, "netto": 0.0, "steuer": 0.0, "skonto": 0.0}
        pdf_zeilen = [NAMEN[lief], "",
                      ("Gutschrift" if art == "GS" else "Rechnung") + f" Nr. {rnr}",
                      f"Datum: {datum(rdatum)}",
                      f"Kunde: {FIRMA}, Morvenau-Mitglied {MITGLIED}", ""]
        for satz, netto in zeilen:
            brutto, steuer, skonto = zeile_betraege(satz, netto, prozent)
            buchungen.append(";".join(f'"{f}"' for f in (
                lief, rnr, datum(rdatum, False), art, satz, komma(brutto), komma(netto),
                komma(steuer), f"Lieferung {datum(rdatum - datetime.timedelta(days=2))}",
                komma(skonto))))
            zahlungen.append([rnr, datum(rdatum), valuta, komma(brutto - skonto, True),
                              komma(skonto), komma(netto, True), satz.split(",")[0],
                              "Gutschrift" if art == "GS" else "Warenlieferung",
                              "", "", "", "", "", "", "", lief, NAMEN[lief], "L", ""])
            for f, wert in (("brutto", brutto), ("netto", netto), ("steuer", steuer),
                            ("skonto", skonto)):
                gesamt[f] += wert
            pdf_zeilen.append(f"Warenwert {satz[:-3]} %: {komma(netto, True)} EUR, "
                              f"USt {komma(steuer, True)} EUR")
        pdf_zeilen += [f"Gesamtbetrag: {komma(gesamt['brutto'], True)} EUR", "",
                       "Zahlung über die Zentralregulierung der Morvenau eG."]
        datei = f"ZRBL{stichtag:%m}{n + 1}{k + 1:03d}"
        pdf(server / "ZRBELEG" / (datei + ".pdf"), pdf_zeilen)
        index.append(";".join([
            datei + ".pdf", art, lief, NAMEN[lief], datum(rdatum), MITGLIED, rnr,
            komma(gesamt["brutto"]), abr_nr, datum(stichtag), abruf, "EUR", "1", valuta,
            "Lastschrift", komma(gesamt["skonto"]), komma(gesamt["netto"]),
            komma(gesamt["steuer"]), ""]))
        uebersicht.append(f"{rnr}  {NAMEN[lief]}  {komma(gesamt['brutto'], True)} EUR")
        summe += gesamt["brutto"]
    cp1252(server / "ZRBELEG" / f"Buchungen_{tag}.csv", buchungen)
    cp1252(server / "ZRBELEG" / f"Index_{tag}.csv", index)
    pdf(server / "ZRABR" / f"Abrechnung_{tag}.pdf",
        ["Morvenau eG – Zentralregulierung", "",
         f"Mitgliedsabrechnung Nr. {abr_nr} vom {datum(stichtag)}",
         f"Mitglied {MITGLIED}: {FIRMA}", ""] + uebersicht +
        ["", f"Summe: {komma(summe, True)} EUR, Lastschrift zum {valuta}"])
    cp1252(server / "ZRABR" / f"Index_Abrechnung_{tag}.csv",
           ["Dateiname;Mitglied;AbrNr;AbrDatum;Betrag;Valuta",
            f"Abrechnung_{tag}.pdf;{MITGLIED};{abr_nr};{datum(stichtag)};{komma(summe)};{valuta}"])
    return zahlungen


def ini_schreiben(demo, sftp_port, smtp_port):
    ini = demo / "Belvanto.ini"
    cp1252(ini, [
        "; Settings of the demonstration; scripts/demo writes them anew at every start.",
        "[Verzeichnisse]",
        f"ArbeitsVerzeichnis={demo / 'arbeit'}",
        f"BackupVerzeichnis={demo / 'backup'}",
        f"AusgabeVerzeichnis={demo / 'ausgabe'}",
        f"LastOpened={demo}",
        "[MwStSatz]",
        "FirmaVolleMwSt=19,00", "FirmaHalbeMwSt=7,00", "FirmaNullMwSt=0,00",
        "VolleMwStREMADV=19",
        "[Firma]",
        f"Mitgliedsnummer={MITGLIED}",
        f"FtpZugang=127.0.0.1:{sftp_port}",
        f"FtpUser={SFTP_USER}",
        f"FtpPasswort={SFTP_PASSWORD}",
        "[Konten]",
        "VolleMwStKurz=9", "HalbeMwStKurz=8", "Kostenstelle=100", "Gegenkonto=1200",
        "[EMail-Versand]",
        f"MailAbsender={MAIL_USER}",
        f"MailPasswort={MAIL_PASSWORD}",
        "MailServer=127.0.0.1",
        f"MailPort={smtp_port}",
        "EmpfaengerRemADV=fibu@steuerkanzlei-hartmann.de",
        f"EmpfaengerAbrechnung=buero@{DOMAIN}",
        f"EmpfaengerRNKopie=markt.nord@{DOMAIN};markt.sued@{DOMAIN}",
        "[Diverses]",
        "NummernUmsetzung=1", "LfdNummer=1", "RNummerKuerzen=0", "AnzahlRNStellen=12",
        "[Signatur]",
        "Signatur1=Mit freundlichen Grüßen", f"Signatur2={FIRMA}",
        "Signatur3=Buchhaltung, Tel. 0521 98765-40",
    ])
    # It holds both passwords: readable by the user alone, or Belvanto warns at start.
    os.chmod(ini, 0o600)


def schreiben(args):
    demo = pathlib.Path(args.demo).resolve()
    server = demo / "server"
    for ordner in ("server/home", "arbeit", "backup", "ausgabe", "mails"):
        (demo / ordner).mkdir(parents=True, exist_ok=True)
    tage = stichtage(datetime.date.today())
    zahlungen = [abrechnung_schreiben(server, n, tag, rechnungen)
                 for n, (tag, rechnungen) in enumerate(zip(tage, RECHNUNGEN))]
    # The remittance advice pays the first settlement, in the payment run of the second.
    stichtag = tage[1]
    zeilen = zahlungen[0]
    for z in zeilen:
        z[18] = f"ZL {stichtag:%Y}/{stichtag.isocalendar()[1]:02d}"
    cp1252(server / "REMADV" / f"RemADV_{stichtag:%Y%m%d}.csv",
           ["RechnungsNr;Datum;Faellig;Betrag;Skonto;Netto;MwSt;Text;Feld8;Feld9;Feld10;"
            "Feld11;Feld12;Feld13;Feld14;Lieferant;Name;Zahlart;Zahlungslauf"] +
           [";".join(z) for z in zeilen])
    cp1252(demo / "LieferantenUmsetzung.csv", [";".join(l) for l in LIEFERANTEN])
    ini_schreiben(demo, args.sftp_port, args.smtp_port)


def betreff(pfad):
    with open(pfad, "rb") as f:
        nachricht = email.message_from_binary_file(f, policy=email.policy.default)
    return str(nachricht["Subject"]), [a.get_filename() for a in nachricht.iter_attachments()]


def pruefen(args):
    demo = pathlib.Path(args.demo).resolve()
    fehler = []

    def zeige(was, wo):
        print(f"  {was + ':':<19} {wo}")

    archive = sorted((demo / "ausgabe").glob("Belege-*.zip"))
    for a in archive:
        with zipfile.ZipFile(a) as z:
            namen = z.namelist()
        pdfs = sum(n.lower().endswith(".pdf") for n in namen)
        zeige("document archive", f"{a} ({pdfs} invoices, document.xml "
              f"{'present' if 'document.xml' in namen else 'MISSING'})")
        if "document.xml" not in namen or not pdfs:
            fehler.append(f"{a.name} lacks document.xml or invoices")
    if len(archive) != len(RECHNUNGEN):
        fehler.append(f"{len(archive)} document archives instead of {len(RECHNUNGEN)}")

    backups = sorted((demo / "backup").glob("*.zip"))
    for b in backups:
        with zipfile.ZipFile(b) as z:
            zeige("backup", f"{b} ({len(z.namelist())} entries)")
    if not backups:
        fehler.append("no backup archive")

    mails = sorted((demo / "mails").glob("*.eml"), key=lambda p: int(p.stem))
    for m in mails:
        titel, anlagen = betreff(m)
        zeige("mail received", f"{m}  \"{titel}\"" +
              (f" with {', '.join(anlagen)}" if anlagen else ""))
    titel = sorted(betreff(m)[0].split(":")[0] for m in mails)
    erwartet = sorted(["Laden-Versand"] * len(RECHNUNGEN) +
                      ["RemADV-Versand", "Abrechnungs-Versand", "Belvanto"])
    if titel != erwartet:
        fehler.append(f"mails received: {titel or 'none'}, expected {erwartet}")

    geblieben = [str(p.relative_to(demo / "server")) for o in ("ZRBELEG", "ZRABR", "REMADV")
                 for p in sorted((demo / "server" / o).glob("*"))]
    zeige("SFTP server", f"{demo / 'server'}: " +
          ("ZRBELEG, ZRABR and REMADV emptied" if not geblieben
           else "still holds " + ", ".join(geblieben)))
    if geblieben:
        fehler.append("the server was not emptied")

    for datei, was in (("Protokoll.txt", "protocol"), ("Belvanto.log", "run log"),
                       ("LieferantenUmsetzung.csv", "supplier mapping"),
                       ("Belvanto.ini", "settings")):
        if (demo / datei).exists():
            zeige(was, demo / datei)
    zuordnung = (demo / "LieferantenUmsetzung.csv").read_bytes().decode("cp1252").splitlines()
    if not any(z.startswith(NEUER_LIEFERANT[0] + ";") for z in zuordnung):
        fehler.append(f"the supplier mapping lacks supplier {NEUER_LIEFERANT[0]} of the dialog")
    log = demo / "Belvanto.log"
    if log.exists():
        text = log.read_text("utf-8", "replace")
        if not text or SFTP_PASSWORD in text or MAIL_PASSWORD in text:
            fehler.append("Belvanto.log is empty or shows a password")

    for f in fehler:
        print("  FAILED:", f)
    return 1 if fehler else 0


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = p.add_subparsers(dest="befehl", required=True)
    w = sub.add_parser("write")
    w.add_argument("demo")
    w.add_argument("--sftp-port", type=int, required=True)
    w.add_argument("--smtp-port", type=int, required=True)
    c = sub.add_parser("check")
    c.add_argument("demo")
    sub.add_parser("logins")
    args = p.parse_args()
    if args.befehl == "logins":
        for name in ("SFTP_USER", "SFTP_PASSWORD", "MAIL_USER", "MAIL_PASSWORD"):
            print(f"{name}={shlex.quote(globals()[name])}")
        return 0
    if args.befehl == "write":
        schreiben(args)
        return 0
    return pruefen(args)


if __name__ == "__main__":
    sys.exit(main())
