"""The Python zeep client against the published WSDL of the three interfaces.

zeep sends RPC calls without xsi:type and without encodingStyle, the session header as
a qualified element with an unqualified Cookie, and reads results by the WSDL's types.
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import zeep  # noqa: E402
from zeep.exceptions import Fault  # noqa: E402

from soap_server import BIG_STRING, SPECIAL_STRINGS, SoapTestServer  # noqa: E402

BRANCH = "IZORPoslovalnica"
HQ = "IZORCentrala"
PORTAL = "IRAVOravuv"


class ZeepClientTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = SoapTestServer()
        cls.clients = {i: zeep.Client(cls.server.wsdl(i)) for i in (BRANCH, HQ, PORTAL)}
        cls.branch = cls.clients[BRANCH].service

    @classmethod
    def tearDownClass(cls):
        cls.server.stop_cleanly()

    def test_wsdl_of_every_interface_loads_with_all_operations(self):
        expected = {BRANCH: 38, HQ: 18, PORTAL: 1}
        for name, client in self.clients.items():
            binding = client.service._binding
            self.assertEqual(len(binding._operations), expected[name], name)
            op = binding._operations["Login" if name != PORTAL else "PrepareResponse"]
            self.assertEqual(op.style, "rpc")
        self.assertEqual(self.clients[HQ].service.Login("hq", "x"), "C:hq")
        self.assertEqual(self.clients[PORTAL].service.PrepareResponse("<Request/>"), "<Request/>")

    def test_function_result_and_var_params(self):
        self.assertEqual(self.branch.Login("U1", "p\u010d"), "USR=U1;PWD=p\u010d")
        r = self.branch.GetOrders("<REQ/>", "old")
        self.assertEqual(r["return"], "<REQ/>")
        self.assertEqual(r["AXMLMPDPResponse"], "[old]<REQ/>")
        r = self.branch.GetClients("K", "I", "N", "P", "M", "D", "3", "9")
        self.assertEqual(r["return"], "K|I|N|P|M|D|3")
        self.assertEqual(r["APages"], "pages:3/9")
        # An empty var value still travels back as an (empty) string.
        r = self.branch.GetOrders("x", "")
        self.assertEqual(r["AXMLMPDPResponse"], "[]x")

    def test_integer_and_boolean_parameters_and_results(self):
        self.assertIs(self.branch.GetUstreznost(1, 2), True)
        self.assertIs(self.branch.GetUstreznost(2, 1), False)
        self.assertIs(self.branch.GetUstreznost(-2147483648, 2147483647), True)
        self.assertIsNone(self.branch.DeleteTransaction("17", True))
        for flag, text in ((True, "true"), (False, "false")):
            with self.assertRaises(Fault) as f:
                self.branch.DeleteTransaction("report", flag)
            self.assertEqual(
                f.exception.message, "DeleteTransaction AIdNetNrc=report OnlyByStat_0=" + text
            )

    def test_session_header_arrives(self):
        cookie = "SID=12;USR=U1 & <\u010d>"
        got = self.branch.GetObvestilo("1", _soapheaders={"TCookieSOAPHeader": {"Cookie": cookie}})
        self.assertEqual(got, cookie)
        with self.assertRaises(Fault) as f:
            self.branch.GetObvestilo("1")
        self.assertEqual(f.exception.message, "No session header")

    def test_ordinary_fault(self):
        with self.assertRaises(Fault) as f:
            self.branch.Login("fail", "x")
        self.assertEqual(
            f.exception.message, 'Login failed for <fail> & "friends": ni dovoljenja (\u010d)'
        )
        self.assertEqual(f.exception.code, "SOAP-ENV:Server")
        self.assertIsNone(f.exception.detail)
        with self.assertRaises(Fault) as f:
            self.branch.ChangePassword("a", "a")
        self.assertEqual(f.exception.message, "Operation ChangePassword is not implemented yet")

    def test_detail_faults(self):
        with self.assertRaises(Fault) as f:
            self.branch.Login("expired", "42")
        self.assertEqual(f.exception.message, "Password has expired")
        (exc,) = list(f.exception.detail)
        self.assertEqual(exc.tag, "{urn:UEPasswordExpiredException}EPasswordExpiredException")
        self.assertEqual(exc.findtext("SID"), "SID-42")
        self.assertEqual(exc.findtext("USR"), "expired")

        with self.assertRaises(Fault) as f:
            self.branch.Logout()
        self.assertEqual(f.exception.message, "Session is not valid")
        (exc,) = list(f.exception.detail)
        self.assertEqual(exc.tag, "{urn:UESessionSecurityException}ESessionSecurityException")
        self.assertEqual(len(exc), 0)

    def test_special_strings_are_preserved_both_ways(self):
        portal = self.clients[PORTAL].service
        # zeep reads an empty element as None: XML has no other form of an empty string.
        for s in SPECIAL_STRINGS:
            with self.subTest(s=s):
                self.assertEqual(portal.PrepareResponse(s) or "", s)
                r = self.branch.GetOrders(s, s)
                self.assertEqual(r["return"] or "", s)
                self.assertEqual(r["AXMLMPDPResponse"], "[" + s + "]" + s)

    def test_big_string(self):
        r = self.branch.GetOrders(BIG_STRING, "v")
        self.assertEqual(len(r["return"]), len(BIG_STRING))
        self.assertTrue(r["return"] == BIG_STRING)
        self.assertTrue(r["AXMLMPDPResponse"] == "[v]" + BIG_STRING)


if __name__ == "__main__":
    unittest.main(verbosity=2)
