"""Starts soap_test_server on a free port for a client test and stops it again.

The server binary comes from $ZORAS_SOAP_TEST_SERVER (CTest sets it). The server prints
the port it bound as its first line; stopping it with SIGTERM must end it with status 0,
so a sanitizer report or a crash on the server side fails the test as well.
"""

import os
import signal
import subprocess
import tempfile

# The strings every client must carry unchanged in both directions.
SPECIAL_STRINGS = [
    "",
    "CR LF\r\nline two\r\n",
    "lone LF\nlone CR\rtab\tend",
    "  leading and trailing spaces  ",
    "<tag attr=\"v\">&amp; & 'single' \"double\"</tag> ]]>",
    "\u010d\u0161\u017e \u010c\u0160\u017d \u20ac \U0001f600",
]

BIG_STRING = ("<ROW A=\"1\" B='\u010d'/>\r\n" * 52429)[: 1 << 20]


def stop_process(proc):
    """Stops a server process with SIGTERM (SIGKILL after 60 s); returns its exit status."""
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    return proc.returncode


class SoapTestServer:
    def __init__(self):
        binary = os.environ.get("ZORAS_SOAP_TEST_SERVER")
        if not binary or not os.access(binary, os.X_OK):
            raise RuntimeError("ZORAS_SOAP_TEST_SERVER does not name the soap_test_server binary")
        self._stderr = tempfile.TemporaryFile()
        self._proc = subprocess.Popen(
            [binary, "0"], stdout=subprocess.PIPE, stderr=self._stderr, text=True
        )
        line = self._proc.stdout.readline().strip()
        if not line.isdigit():
            self._proc.kill()
            self._proc.wait()
            raise RuntimeError("soap_test_server did not start: " + self.stderr())
        self.port = int(line)
        self.base = "http://127.0.0.1:%d" % self.port

    def wsdl(self, interface):
        return "%s/wsdl/%s" % (self.base, interface)

    def stderr(self):
        self._stderr.seek(0)
        return self._stderr.read().decode("utf-8", "replace")

    def stop(self):
        """Stops the server; returns its exit status (0 when it shut down cleanly)."""
        code = stop_process(self._proc)
        self._proc.stdout.close()
        return code

    def stop_cleanly(self):
        """Stops the server and fails unless it exited with status 0."""
        status = self.stop()
        if status != 0:
            raise AssertionError("soap_test_server ended with %s:\n%s" % (status, self.stderr()))
