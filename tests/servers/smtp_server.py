"""Loopback SMTP server for the tests.

STARTTLS required, TLS 1.2, AUTH LOGIN against one user and password; a
certificate made at start (self-signed, or issued by a CA of its own whose
certificate is written out for a test to trust). Every received message is
stored as <maildir>/<n>.eml.

Fault switches: no STARTTLS offered, TLS 1.3 only, the connection dropped
as soon as the data of the first message arrives.

Prints the port it listens on as its first line, then "pin <base64>" (the
SHA-256 of the certificate's public key, as the client pins it), then one
line per event: "connect <c>", "starttls <c>", "auth <c> <mechanism>
ok|failed <login>", "message <c> <n>.eml from=<sender> to=<rcpt>,<rcpt>",
"dropped <c>", where <c> numbers the connections from 1.
"""

import argparse
import asyncio
import base64
import datetime
import hashlib
import ipaddress
import os
import ssl
import tempfile
import warnings

warnings.filterwarnings("ignore")
from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword  # noqa: E402
from cryptography import x509  # noqa: E402
from cryptography.hazmat.primitives import hashes, serialization  # noqa: E402
from cryptography.hazmat.primitives.asymmetric import ec, rsa  # noqa: E402
from cryptography.x509.oid import NameOID  # noqa: E402


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument("--maildir", required=True, help="folder for the received messages")
    p.add_argument("--user", required=True)
    p.add_argument("--password", required=True)
    p.add_argument("--no-starttls", action="store_true", help="offer no STARTTLS")
    p.add_argument("--tls13-only", action="store_true", help="accept TLS 1.3 only")
    p.add_argument("--weak-ciphers", action="store_true",
                   help="offer only static-RSA key exchange with CBC and SHA-1 (an RSA key)")
    p.add_argument("--drop-during-data", action="store_true",
                   help="drop the connection when the first message's data arrives")
    p.add_argument("--ca-out", help="issue the certificate from a new CA and write its certificate here")
    p.add_argument("--name", default="127.0.0.1", help="host name or address in the certificate")
    p.add_argument("--listen", default="127.0.0.1", help="address to listen on")
    return p.parse_args()


ARGS = parse_args()
connections = 0
messages = 0
dropped = False


def event(*words):
    print(*words, flush=True)


def certificate(key, subject, issuer, issuer_key, is_ca):
    now = datetime.datetime.utcnow()
    builder = (x509.CertificateBuilder()
               .subject_name(subject).issuer_name(issuer)
               .public_key(key.public_key())
               .serial_number(x509.random_serial_number())
               .not_valid_before(now - datetime.timedelta(days=1))
               .not_valid_after(now + datetime.timedelta(days=30))
               .add_extension(x509.BasicConstraints(ca=is_ca, path_length=None), critical=True))
    if not is_ca:
        try:
            alt = x509.IPAddress(ipaddress.ip_address(ARGS.name))
        except ValueError:
            alt = x509.DNSName(ARGS.name)
        builder = builder.add_extension(x509.SubjectAlternativeName([alt]), critical=False)
    return builder.sign(issuer_key, hashes.SHA256())


def tls_context():
    key = (rsa.generate_private_key(public_exponent=65537, key_size=2048) if ARGS.weak_ciphers
           else ec.generate_private_key(ec.SECP256R1()))
    subject = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, ARGS.name)])
    if ARGS.ca_out:
        ca_key = ec.generate_private_key(ec.SECP256R1())
        ca_name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "Test-CA")])
        ca = certificate(ca_key, ca_name, ca_name, ca_key, True)
        with open(ARGS.ca_out, "wb") as f:
            f.write(ca.public_bytes(serialization.Encoding.PEM))
        cert = certificate(key, subject, ca_name, ca_key, False)
    else:
        cert = certificate(key, subject, subject, key, False)

    spki = key.public_key().public_bytes(serialization.Encoding.DER,
                                         serialization.PublicFormat.SubjectPublicKeyInfo)
    pin = base64.b64encode(hashlib.sha256(spki).digest()).decode()

    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    if ARGS.tls13_only:
        ctx.minimum_version = ssl.TLSVersion.TLSv1_3
    else:
        ctx.minimum_version = ctx.maximum_version = ssl.TLSVersion.TLSv1_2
    if ARGS.weak_ciphers:
        ctx.set_ciphers("AES128-SHA:AES256-SHA")
    with tempfile.TemporaryDirectory() as tmp:
        chain = os.path.join(tmp, "chain.pem")
        with open(chain, "wb") as f:
            f.write(key.private_bytes(serialization.Encoding.PEM,
                                      serialization.PrivateFormat.PKCS8,
                                      serialization.NoEncryption()))
            f.write(cert.public_bytes(serialization.Encoding.PEM))
        ctx.load_cert_chain(chain)
    return ctx, pin


class Recorder:
    async def handle_DATA(self, server, session, envelope):
        global messages
        messages += 1
        name = f"{messages}.eml"
        with open(os.path.join(ARGS.maildir, name), "wb") as f:
            f.write(envelope.original_content)
        event("message", server.number, name, "from=" + envelope.mail_from,
              "to=" + ",".join(envelope.rcpt_tos))
        return "250 OK"


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = (isinstance(auth_data, LoginPassword) and auth_data.login.decode() == ARGS.user
          and auth_data.password.decode() == ARGS.password)
    login = auth_data.login.decode() if isinstance(auth_data, LoginPassword) else "-"
    event("auth", server.number, mechanism, "ok" if ok else "failed", login)
    return AuthResult(success=ok, handled=False)


class RecordingSMTP(SMTP):
    def __init__(self, *args, **kwargs):
        global connections
        super().__init__(*args, **kwargs)
        connections += 1
        self.number = connections
        self.in_data = False

    def connection_made(self, transport):
        if self._original_transport is None:
            event("connect", self.number)
        super().connection_made(transport)

    async def smtp_STARTTLS(self, arg):
        event("starttls", self.number)
        await super().smtp_STARTTLS(arg)

    async def smtp_DATA(self, arg):
        self.in_data = True
        try:
            await super().smtp_DATA(arg)
        finally:
            self.in_data = False

    def data_received(self, data):
        global dropped
        if ARGS.drop_during_data and self.in_data and not dropped:
            dropped = True
            event("dropped", self.number)
            (self._original_transport or self.transport).abort()
            return
        super().data_received(data)


async def main():
    os.makedirs(ARGS.maildir, exist_ok=True)
    ctx, pin = tls_context()
    options = dict(hostname="smtp.test", authenticator=authenticator, auth_required=True,
                   auth_exclude_mechanism=["PLAIN"])
    if ARGS.no_starttls:
        # Without TLS the server has to offer AUTH in the clear, which is
        # exactly what a careful client must not use.
        options.update(auth_require_tls=False)
    else:
        options.update(tls_context=ctx, require_starttls=True, auth_require_tls=True)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(lambda: RecordingSMTP(Recorder(), **options),
                                      ARGS.listen, 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    print("pin", pin, flush=True)
    await asyncio.Event().wait()


if __name__ == "__main__":
    asyncio.run(main())
