#!/usr/bin/python3
"""Makes the certificates of the TLS probe tests into a folder, valid from now.

Usage: make-certificates.py FOLDER

  ca.pem             the test CA, the only one the tests trust
  chain.pem/.key     a leaf valid 10 days for svc.test, 127.0.0.1 and ::1,
                     behind an intermediate valid 5 days
  expired.pem/.key   the same names, expired two days ago
  selfsigned.pem/.key  the same names, signed by itself
  other.pem/.key     a leaf for other.test and xn--bcher-kva.test
  long.pem/.key      a leaf with a long subject behind 99 intermediates, the
                     50th of them valid 3 days
  big.pem/.key       a leaf carrying a 1 MB extension

Needs Debian's python3-cryptography (run with /usr/bin/python3).
"""

import datetime
import ipaddress
import pathlib
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

NOW = datetime.datetime.now(datetime.timezone.utc).replace(tzinfo=None)
DAY = datetime.timedelta(days=1)
LEAF_NAMES = ["svc.test", ipaddress.ip_address("127.0.0.1"), ipaddress.ip_address("::1")]


def key():
    return ec.generate_private_key(ec.SECP256R1())


def name(common, units=()):
    attributes = [x509.NameAttribute(NameOID.ORGANIZATION_NAME, "servermon tests")]
    attributes += [x509.NameAttribute(NameOID.ORGANIZATIONAL_UNIT_NAME, unit) for unit in units]
    attributes.append(x509.NameAttribute(NameOID.COMMON_NAME, common))
    return x509.Name(attributes)


def alt_names(names):
    entries = []
    for entry in names:
        if isinstance(entry, str):
            entries.append(x509.DNSName(entry))
        else:
            entries.append(x509.IPAddress(entry))
    return x509.SubjectAlternativeName(entries)


def certificate(subject, subject_key, issuer, issuer_key, days, ca, names=None, start=-1,
                extra=None):
    builder = (
        x509.CertificateBuilder()
        .subject_name(subject)
        .issuer_name(issuer)
        .public_key(subject_key.public_key())
        .serial_number(x509.random_serial_number())
        .not_valid_before(NOW + start * DAY)
        .not_valid_after(NOW + days * DAY)
        .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True)
        .add_extension(x509.SubjectKeyIdentifier.from_public_key(subject_key.public_key()),
                       critical=False)
        .add_extension(
            x509.AuthorityKeyIdentifier.from_issuer_public_key(issuer_key.public_key()),
            critical=False)
    )
    if ca:
        builder = builder.add_extension(
            x509.KeyUsage(digital_signature=True, content_commitment=False, key_encipherment=False,
                          data_encipherment=False, key_agreement=False, key_cert_sign=True,
                          crl_sign=True, encipher_only=False, decipher_only=False),
            critical=True)
    else:
        builder = builder.add_extension(
            x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
    if names:
        builder = builder.add_extension(alt_names(names), critical=False)
    if extra is not None:
        builder = builder.add_extension(extra, critical=False)
    return builder.sign(issuer_key, hashes.SHA256())


def pem(cert):
    return cert.public_bytes(serialization.Encoding.PEM)


def write(folder, stem, certificates, leaf_key):
    (folder / f"{stem}.pem").write_bytes(b"".join(pem(c) for c in certificates))
    (folder / f"{stem}.key").write_bytes(
        leaf_key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                               serialization.NoEncryption()))


def main():
    folder = pathlib.Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)

    ca_key = key()
    ca_name = name("servermon test CA")
    ca = certificate(ca_name, ca_key, ca_name, ca_key, 3650, True)
    (folder / "ca.pem").write_bytes(pem(ca))

    middle_key = key()
    middle_name = name("servermon test intermediate")
    middle = certificate(middle_name, middle_key, ca_name, ca_key, 5, True)

    def leaf(stem, names, days=10, start=-1, extra=None, common="svc.test"):
        leaf_key = key()
        cert = certificate(name(common), leaf_key, middle_name, middle_key, days, False, names,
                           start, extra)
        write(folder, stem, [cert, middle], leaf_key)

    leaf("chain", LEAF_NAMES)
    leaf("expired", LEAF_NAMES, days=-2, start=-20)
    leaf("other", ["other.test", "xn--bcher-kva.test"], common="other.test")
    leaf("big", LEAF_NAMES,
         extra=x509.UnrecognizedExtension(x509.ObjectIdentifier("1.3.6.1.4.1.55555.1"),
                                          b"x" * (1 << 20)))

    self_key = key()
    self_name = name("svc.test")
    write(folder, "selfsigned",
          [certificate(self_name, self_key, self_name, self_key, 10, False, LEAF_NAMES)], self_key)

    issuer_name, issuer_key, chain = ca_name, ca_key, []
    for number in range(1, 100):
        link_key = key()
        link_name = name(f"servermon test link {number}")
        chain.insert(0, certificate(link_name, link_key, issuer_name, issuer_key,
                                    3 if number == 50 else 30, True))
        issuer_name, issuer_key = link_name, link_key
    units = [f"unit {number} " + "u" * 50 for number in range(40)]
    leaf_key = key()
    chain.insert(0, certificate(name("svc.test", units), leaf_key, issuer_name, issuer_key, 10,
                                False, LEAF_NAMES))
    write(folder, "long", chain, leaf_key)


if __name__ == "__main__":
    main()
