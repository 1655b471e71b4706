#!/usr/bin/python3
"""Authenticode signing of updater.exe with scripts/sign_updater.sh (the
build's signing step) and the signature line of inspect_update, with a
throwaway CA and code-signing certificate made by openssl in a temporary
folder of the current (build) folder:

- the signed program verifies with osslsigncode against that CA, and the
  inspector names the signer and says valid;
- one changed byte (in a PATCH resource; in the DOS stub, which no other
  check reads) makes both say the signature does not hold;
- signing the same input again, or with the same key from a PKCS#12
  container, gives the same bytes;
- the unsigned program: "signature: none", a problem only with
  --require-signature.

Exits 77 (skipped) when osslsigncode or openssl is missing.

Usage: check_signature.py PATH/TO/updater.exe PATH/TO/inspect_update PATH/TO/sign_updater.sh [unittest options]
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from check_inspector import resource_file_range  # noqa: E402
from check_resources import PeImage  # noqa: E402

SKIPPED = 77
DAMAGED_ID = 480
SIGNER = "CN=Updater Test Signer,O=Updater Build Test"
ISSUER = "CN=Updater Test CA"
VALID = 'signature: signer="%s" issuer="%s" digest=sha256 valid (chain not checked)' % (SIGNER, ISSUER)
INVALID = re.compile(r'^signature: signer="%s" issuer="%s" digest=sha256 INVALID \((.+)\)$'
                     % (re.escape(SIGNER), re.escape(ISSUER)), re.M)

EXE_PATH = None
INSPECTOR = None
SIGN_SCRIPT = None


def run(command, **kwargs):
    return subprocess.run([str(c) for c in command], capture_output=True, text=True, timeout=600, **kwargs)


def inspect(path, *options):
    """(exit code, signature lines, output)."""
    result = run([INSPECTOR, *options, path])
    lines = [l for l in result.stdout.splitlines() if l.startswith("signature:")]
    return result.returncode, lines, result.stdout + result.stderr


def flip_byte(source, target, offset):
    shutil.copyfile(source, target)
    with open(target, "r+b") as f:
        f.seek(offset)
        value = f.read(1)[0]
        f.seek(offset)
        f.write(bytes([value ^ 0x5A]))


class SignatureTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory(dir=os.getcwd(), prefix="signature.")
        work = cls.work = Path(cls.folder.name)

        def openssl(*args):
            result = run(["openssl", *args], cwd=work)
            assert result.returncode == 0, result.stderr

        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
                "-days", "2", "-subj", "/" + ISSUER,
                "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key", "-out", "signer.csr",
                "-subj", "/" + SIGNER.replace(",", "/"))
        (work / "signer.ext").write_text("basicConstraints=CA:FALSE\n"
                                         "keyUsage=critical,digitalSignature\n"
                                         "extendedKeyUsage=codeSigning\n")
        openssl("x509", "-req", "-in", "signer.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-set_serial", "1",
                "-days", "2", "-extfile", "signer.ext", "-out", "signer.pem")
        (work / "password").write_text("test password\n")
        openssl("pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem", "-out", "signer.p12",
                "-passout", "file:password")

        # The built program may be signed already (a build with a
        # certificate configured): the unsigned input is then made from it.
        cls.unsigned = work / "unsigned.exe"
        if PeImage(Path(EXE_PATH).read_bytes()).directory(4)[1] != 0:
            result = run(["osslsigncode", "remove-signature", "-in", EXE_PATH, "-out", cls.unsigned])
            assert result.returncode == 0, result.stdout + result.stderr
        else:
            shutil.copyfile(EXE_PATH, cls.unsigned)
        cls.signed = work / "signed.exe"
        cls.sign(["--cert", work / "signer.pem", "--key", work / "signer.key"], cls.unsigned, cls.signed)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    @staticmethod
    def sign(key_options, source, target):
        # A signing key or time stamp server of the calling environment
        # plays no part (and no time stamp server is ever contacted).
        env = {k: v for k, v in os.environ.items() if not k.startswith("UPDATER_SIGN_")}
        root = Path(SIGN_SCRIPT).resolve().parent.parent
        result = run(["/bin/bash", SIGN_SCRIPT, *key_options, "--source-dir", root, source, target], env=env)
        assert result.returncode == 0, result.stdout + result.stderr

    def test_a_signed_program_verifies(self):
        result = run(["osslsigncode", "verify", "-CAfile", self.work / "ca.pem", "-in", self.signed])
        self.assertEqual(result.returncode, 0, result.stdout[-3000:] + result.stderr)
        code, lines, output = inspect(self.signed)
        self.assertEqual(lines, [VALID], output[-3000:])
        self.assertEqual(code, 0, output[-3000:])

    def test_b_changed_byte_breaks_the_signature(self):
        image = Path(self.signed).read_bytes()
        offset, size = resource_file_range(image, "PATCH", DAMAGED_ID)
        # In a PATCH resource, and in the DOS stub's text, which nothing but
        # the signature covers: the exit status then comes from it alone.
        stub = image.index(b"This program cannot be run in DOS mode")
        for where, at in (("PATCH %d" % DAMAGED_ID, offset + size // 2), ("DOS stub", stub + 5)):
            with self.subTest(where):
                damaged = self.work / "damaged.exe"
                flip_byte(self.signed, damaged, at)
                result = run(["osslsigncode", "verify", "-CAfile", self.work / "ca.pem", "-in", damaged])
                self.assertNotEqual(result.returncode, 0, result.stdout[-3000:])
                code, lines, output = inspect(damaged)
                self.assertEqual(len(lines), 1, output[-3000:])
                match = INVALID.match(lines[0])
                self.assertIsNotNone(match, output[-3000:])
                self.assertEqual(match.group(1), "the file's sha256 digest differs from the signed one")
                self.assertEqual(code, 1, output[-3000:])
                if where == "DOS stub":
                    self.assertIn("summary: 161 PATCH verified, 2 REG verified, 1 problems", output)

    def test_c_signing_is_reproducible(self):
        again = self.work / "again.exe"
        self.sign(["--cert", self.work / "signer.pem", "--key", self.work / "signer.key"], self.unsigned, again)
        self.assertEqual(again.read_bytes(), self.signed.read_bytes())
        from_pkcs12 = self.work / "pkcs12.exe"
        self.sign(["--pkcs12", self.work / "signer.p12", "--password-file", self.work / "password"],
                  self.unsigned, from_pkcs12)
        self.assertEqual(from_pkcs12.read_bytes(), self.signed.read_bytes())

    def test_d_unsigned_program(self):
        code, lines, output = inspect(self.unsigned)
        self.assertEqual(lines, ["signature: none"], output[-3000:])
        self.assertEqual(code, 0, output[-3000:])
        code, lines, output = inspect(self.unsigned, "--require-signature")
        self.assertEqual(lines, ["signature: none"], output[-3000:])
        self.assertIn("problem: the program is not signed", output)
        self.assertEqual(code, 1, output[-3000:])


def main():
    global EXE_PATH, INSPECTOR, SIGN_SCRIPT
    if (len(sys.argv) < 4 or not os.path.isfile(sys.argv[1]) or not os.access(sys.argv[2], os.X_OK)
            or not os.path.isfile(sys.argv[3])):
        sys.stderr.write("usage: check_signature.py PATH/TO/updater.exe PATH/TO/inspect_update "
                         "PATH/TO/sign_updater.sh [unittest options]\n")
        return 2
    missing = [tool for tool in ("osslsigncode", "openssl") if shutil.which(tool) is None]
    if missing:
        sys.stderr.write("check_signature: skipped, %s missing\n" % " and ".join(missing))
        return SKIPPED
    EXE_PATH, INSPECTOR, SIGN_SCRIPT = sys.argv[1:4]
    program = unittest.main(argv=[sys.argv[0]] + sys.argv[4:], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
