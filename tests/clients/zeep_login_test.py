"""zeep against the real server, in a folder that `zorasctl demo` made: the login round.

The binaries come from $ZORAS_SERVER and $ZORASCTL (CTest sets them). The demo's boot
file gets a free port; the server must stop with status 0 on SIGTERM.
"""

import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest
import urllib.request
import xml.etree.ElementTree as ET

from soap_server import stop_process

import zeep
from zeep.exceptions import Fault

BRANCH = "IZORPoslovalnica"
FIRST_LOGIN = "Ob prvi prijavi je zamenjava gesla obvezna !"
NO_SESSION = "Potrebna je ponovna prijava !"
EXPIRED_TAG = "{urn:UEPasswordExpiredException}EPasswordExpiredException"
SECURITY_TAG = "{urn:UESessionSecurityException}ESessionSecurityException"


def binary(variable):
    path = os.environ.get(variable)
    if not path or not os.access(path, os.X_OK):
        raise RuntimeError("%s does not name an executable" % variable)
    return path


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def cookie(sid, user):
    return {"TCookieSOAPHeader": {"Cookie": "SID=%s\r\nUSR=%s" % (sid, user)}}


def login_row(packet):
    """The SID and USR of the one row of a Login answer."""
    rows = ET.fromstring(packet.encode("utf-8")).findall("./ROWDATA/ROW")
    if len(rows) != 1:
        raise AssertionError("Login answered %d rows: %s" % (len(rows), packet))
    return rows[0].get("SID"), rows[0].get("USR")


class DemoServer:
    """zoras running in a fresh demo folder on a free port."""

    def __init__(self):
        self.home = tempfile.mkdtemp(prefix="zoras_demo_")
        made = subprocess.run(
            [binary("ZORASCTL"), "demo", "--dir", self.home], capture_output=True, text=True
        )
        if made.returncode != 0:
            raise RuntimeError("zorasctl demo failed: " + made.stderr)
        self.port = free_port()
        boot = os.path.join(self.home, "zoras.BOOT")
        with open(boot, encoding="utf-8") as f:
            lines = f.read().splitlines()
        with open(boot, "w", encoding="utf-8") as f:
            for line in lines:
                if line.upper().startswith("ASPORT="):
                    line = "ASPORT=%d" % self.port
                f.write(line + "\n")
        self.base = "http://127.0.0.1:%d" % self.port

        env = dict(os.environ)
        env.pop("NOTIFY_SOCKET", None)
        env.update(
            ZORAS_HOME=self.home,
            ZORAS_LOCK_FILE=os.path.join(self.home, "ZORAS.lock"),
            # No unit installed here, so the server never takes itself for the service.
            ZORAS_SYSTEMD_DIR=os.path.join(self.home, "systemd"),
        )
        self._output = tempfile.TemporaryFile()
        self._proc = subprocess.Popen(
            [binary("ZORAS_SERVER")],
            cwd=self.home,
            env=env,
            stdin=subprocess.DEVNULL,
            stdout=self._output,
            stderr=subprocess.STDOUT,
        )
        self._wait_until_serving()

    def _wait_until_serving(self):
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if self._proc.poll() is not None:
                raise RuntimeError(
                    "zoras ended with %s:\n%s" % (self._proc.returncode, self.output())
                )
            try:
                with urllib.request.urlopen(self.base + "/wsdl", timeout=2) as r:
                    if r.status == 200:
                        return
            except OSError:
                pass
            time.sleep(0.1)
        self.stop()
        raise RuntimeError("zoras did not answer GET /wsdl:\n" + self.output())

    def output(self):
        self._output.seek(0)
        return self._output.read().decode("utf-8", "replace")

    def stop(self):
        """Stops the server with SIGTERM; returns its exit status."""
        return stop_process(self._proc)

    def remove(self):
        shutil.rmtree(self.home, ignore_errors=True)


class ZeepLoginTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = DemoServer()
        try:
            cls.branch = zeep.Client("%s/wsdl/%s" % (cls.server.base, BRANCH)).service
        except Exception:
            cls.server.stop()
            cls.server.remove()
            raise

    @classmethod
    def tearDownClass(cls):
        status = cls.server.stop()
        output = cls.server.output()
        cls.server.remove()
        if status != 0:
            raise AssertionError("zoras ended with %s:\n%s" % (status, output))

    def assertFault(self, call, message, detail_tag):
        """Runs `call`, which must fail with `message`; returns the detail element."""
        with self.assertRaises(Fault) as f:
            call()
        self.assertEqual(f.exception.message, message)
        (detail,) = list(f.exception.detail)
        self.assertEqual(detail.tag, detail_tag)
        return detail

    # One test, because each step needs the session of the one before.
    def test_first_login_password_change_logout_and_login(self):
        detail = self.assertFault(
            lambda: self.branch.Login("novak", "novak"), FIRST_LOGIN, EXPIRED_TAG
        )
        self.assertEqual([child.tag for child in detail], ["SID", "USR"])
        sid = detail.findtext("SID")
        self.assertRegex(sid, r"^[0-9A-F]{32}$")
        self.assertEqual(detail.findtext("USR"), "novak")

        # The session of the refused login is good for the password change.
        header = cookie(sid, "novak")
        self.assertIsNone(
            self.branch.ChangePassword("Novak2026", "Novak2026", _soapheaders=header)
        )
        self.assertIsNone(self.branch.Logout(_soapheaders=header))
        self.assertFault(lambda: self.branch.Logout(_soapheaders=header), NO_SESSION, SECURITY_TAG)

        # The new password holds, and the other demo clerk logs in at once.
        for user, password in (("novak", "Novak2026"), ("ana", "Ana2026!")):
            with self.subTest(user=user):
                new_sid, usr = login_row(self.branch.Login(user, password))
                self.assertRegex(new_sid, r"^[0-9A-F]{32}$")
                self.assertNotEqual(new_sid, sid)
                self.assertEqual(usr, user)


if __name__ == "__main__":
    unittest.main(verbosity=2)
