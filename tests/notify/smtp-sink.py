#!/usr/bin/python3
"""SMTP servers on 127.0.0.1 for the e-mail channel tests (Debian's
python3-aiosmtpd), in a process of their own.

Usage: smtp-sink.py CERTIFICATE KEY FOLDER

Three servers share one mailbox, FOLDER, where each message received is
written as mail-N.json: {"from", "to" (a list), "login" (the user who
logged in, or null), "data" (the message as sent)}.

  plain     no TLS; a login is possible but not needed
  starttls  STARTTLS required before anything else, then a login
  tls       TLS from the first byte, then a login

The one login taken is the user "alert" with the password "pa55-Secret".
Prints "ports PLAIN STARTTLS TLS" once listening; ends when standard input
closes.
"""

import asyncio
import itertools
import json
import logging
import pathlib
import ssl
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult

USER = b"alert"
PASSWORD = b"pa55-Secret"


class Mailbox:
    def __init__(self, folder):
        self.folder = pathlib.Path(folder)
        self.numbers = itertools.count(1)

    async def handle_DATA(self, server, session, envelope):
        login = session.auth_data.login.decode() if session.auth_data else None
        path = self.folder / ("mail-%d.json" % next(self.numbers))
        partial = path.with_suffix(".part")
        partial.write_text(json.dumps({
            "from": envelope.mail_from,
            "to": envelope.rcpt_tos,
            "login": login,
            "data": envelope.original_content.decode("utf-8", "replace"),
        }))
        partial.rename(path)
        return "250 Message accepted for delivery"


def authenticate(server, session, envelope, mechanism, auth_data):
    good = auth_data.login == USER and auth_data.password == PASSWORD
    return AuthResult(success=good, handled=False, auth_data=auth_data if good else None)


async def serve(certificate, key, folder):
    loop = asyncio.get_running_loop()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(certificate, key)
    mailbox = Mailbox(folder)

    def factory(**options):
        return lambda: SMTP(mailbox, hostname="sink.test", authenticator=authenticate,
                            loop=loop, **options)

    plain = await loop.create_server(factory(auth_require_tls=False), "127.0.0.1", 0)
    starttls = await loop.create_server(
        factory(tls_context=context, require_starttls=True, auth_required=True),
        "127.0.0.1", 0)
    implicit = await loop.create_server(
        factory(auth_required=True, auth_require_tls=False), "127.0.0.1", 0, ssl=context)
    ports = [server.sockets[0].getsockname()[1] for server in (plain, starttls, implicit)]
    print("ports", *ports, flush=True)
    await loop.run_in_executor(None, sys.stdin.read)


def main():
    # The implicit TLS server logs in without STARTTLS, which aiosmtpd warns of.
    warnings.simplefilter("ignore")
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    asyncio.run(serve(*sys.argv[1:4]))


if __name__ == "__main__":
    main()
