"""Runs scripts/demo-login, the README's main job, on the binaries of this build."""
import os
import subprocess
import sys
import unittest

DEMO = sys.argv.pop(1)


class DemoLogin(unittest.TestCase):
    def test_full_ekey_login_against_the_bundled_server(self):
        run = subprocess.run([DEMO], capture_output=True, timeout=280)
        out = run.stdout.decode("utf-8")
        self.assertEqual(run.returncode, 0, out + run.stderr.decode("utf-8", "replace"))
        for line in ["dynamic-key: 0", "static: 0", "  AUTHENSTATE=4", "ekey: 0", "  DESCMSG=登录成功"]:
            self.assertIn(line, out.splitlines())
        self.assertIn("0xC600", out)  # the server's log of the e-key request is shown
        win32 = os.environ.get("VOKA_DEMO_WIN32_DIR", "")
        if not os.path.isfile(os.path.join(win32, "bin", "VOKA4ClientCom.DLL")):
            print("skipped: the login through the DLL needs a built win32 tree (scripts/build win32)")
        else:
            lines = out.splitlines()
            self.assertIn("== the same login through VOKA4ClientCom.DLL, from JScript under Wine", lines)
            for line in ["GetDynamicKey: 0", "StaticAuthen: 0", "  AUTHENSTATE=4", "EKeyAuthen: 0"]:
                self.assertIn(line, lines)


if __name__ == "__main__":
    unittest.main(verbosity=2)
