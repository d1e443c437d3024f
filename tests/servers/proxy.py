"""Loopback proxy for the tests: SOCKS 5 (RFC 1928, CONNECT only; no login or
RFC 1929 user/password) and HTTP CONNECT (Basic proxy login), told apart by
the first byte a client sends.

Prints the port it listens on as its first line, then one line for every
tunnel it opens ("socks5 connect HOST:PORT", "http connect HOST:PORT") or
login it refuses, so a test can show that a connection really went through it.
"""

import argparse
import asyncio
import base64
import ipaddress
import struct


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument("--user", help="require this proxy user (with --password)")
    p.add_argument("--password", default="")
    return p.parse_args()


ARGS = parse_args()


def log(*words):
    print(*words, flush=True)


async def pipe(reader, writer):
    try:
        while data := await reader.read(65536):
            writer.write(data)
            await writer.drain()
    except ConnectionError:
        pass
    finally:
        writer.close()


async def tunnel(reader, writer, host, port):
    try:
        up_reader, up_writer = await asyncio.open_connection(host, port)
    except OSError:
        return None
    return lambda: asyncio.gather(pipe(reader, up_writer), pipe(up_reader, writer))


async def socks5(reader, writer):
    # The version byte is already read.
    methods = await reader.readexactly((await reader.readexactly(1))[0])
    wanted = 2 if ARGS.user else 0
    if wanted not in methods:
        writer.write(b"\x05\xff")
        log("socks5 no acceptable method")
        return
    writer.write(bytes([5, wanted]))
    if wanted == 2:
        _, ulen = await reader.readexactly(2)
        user = (await reader.readexactly(ulen)).decode()
        plen = (await reader.readexactly(1))[0]
        password = (await reader.readexactly(plen)).decode()
        ok = user == ARGS.user and password == ARGS.password
        writer.write(b"\x01\x00" if ok else b"\x01\x01")
        if not ok:
            log("socks5 login refused")
            return
    _, cmd, _, atyp = await reader.readexactly(4)
    if atyp == 1:
        host = str(ipaddress.IPv4Address(await reader.readexactly(4)))
    elif atyp == 4:
        host = str(ipaddress.IPv6Address(await reader.readexactly(16)))
    else:
        host = (await reader.readexactly((await reader.readexactly(1))[0])).decode()
    port = struct.unpack(">H", await reader.readexactly(2))[0]
    run = await tunnel(reader, writer, host, port) if cmd == 1 else None
    # Bound address 0.0.0.0:0: clients do not use it for CONNECT.
    writer.write(bytes([5, 0 if run else 5, 0, 1, 0, 0, 0, 0, 0, 0]))
    if run:
        log(f"socks5 connect {host}:{port}")
        await run()


async def http_connect(first, reader, writer):
    request = first + await reader.readuntil(b"\r\n\r\n")
    request = request.decode("latin-1").split("\r\n")
    method, target, _ = request[0].split(" ", 2)
    headers = dict(line.split(":", 1) for line in request[1:] if ":" in line)
    headers = {k.strip().lower(): v.strip() for k, v in headers.items()}
    if ARGS.user:
        expected = base64.b64encode(f"{ARGS.user}:{ARGS.password}".encode()).decode()
        if headers.get("proxy-authorization") != "Basic " + expected:
            writer.write(b"HTTP/1.1 407 Proxy Authentication Required\r\n"
                         b'Proxy-Authenticate: Basic realm="test"\r\nContent-Length: 0\r\n\r\n')
            log("http login refused")
            return
    host, _, port = target.rpartition(":")
    run = await tunnel(reader, writer, host.strip("[]"), int(port)) if method == "CONNECT" else None
    if not run:
        writer.write(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n")
        return
    writer.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
    log(f"http connect {host}:{port}")
    await run()


async def handle(reader, writer):
    try:
        first = await reader.readexactly(1)
        if first == b"\x05":
            await socks5(reader, writer)
        else:
            await http_connect(first, reader, writer)
    except (asyncio.IncompleteReadError, asyncio.LimitOverrunError, ValueError, ConnectionError):
        pass
    finally:
        writer.close()


async def main():
    server = await asyncio.start_server(handle, "127.0.0.1", 0)
    log(server.sockets[0].getsockname()[1])
    await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
