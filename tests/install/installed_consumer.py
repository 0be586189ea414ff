"""Builds the consumer program against an installed engine, both through the
CMake package and through pkg-config, and logs in with it against the
installed voka-server.

Paths come from CTest: VOKA_CONSUMER_DIR (the consumer's sources) and the
variables that voka_programs reads.
"""
import glob
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "programs"))
from voka_programs import BOB_SECRET, Server  # noqa: E402

CONSUMER_DIR = os.environ["VOKA_CONSUMER_DIR"]


def run(args, **kwargs):
    completed = subprocess.run(args, capture_output=True, text=True, **kwargs)
    if completed.returncode != 0:
        raise AssertionError("%s failed (%d):\n%s%s" % (" ".join(args), completed.returncode,
                                                        completed.stdout, completed.stderr))
    return completed.stdout


def build_consumers(prefix, work):
    """The consumers, C++ engine and C interface, built both ways against
    prefix; returns the programs (the C ones named *_c) and the folder of the
    installed libraries."""
    cmake_build = os.path.join(work, "cmake-build")
    run(["cmake", "-S", CONSUMER_DIR, "-B", cmake_build, "-G", "Ninja", "-DCMAKE_PREFIX_PATH=" + prefix])
    run(["cmake", "--build", cmake_build])
    # lib/pkgconfig, or lib/<multiarch>/pkgconfig
    pc_file, = (glob.glob(os.path.join(prefix, "lib*", "pkgconfig", "voka-client-authen.pc")) +
                glob.glob(os.path.join(prefix, "lib*", "*", "pkgconfig", "voka-client-authen.pc")))
    env = dict(os.environ, PKG_CONFIG_PATH=os.path.dirname(pc_file))
    flags = run(["pkg-config", "--cflags", "--libs", "voka-client-authen"], env=env).split()
    pkg_config_program = os.path.join(work, "login_client_pkg_config")
    libdir = run(["pkg-config", "--variable=libdir", "voka-client-authen"], env=env).strip()
    run(["c++", "-std=c++17", os.path.join(CONSUMER_DIR, "login_client.cpp"), "-o", pkg_config_program,
         *flags, "-Wl,-rpath," + libdir])
    c_flags = run(["pkg-config", "--cflags", "--libs", "voka-client"], env=env).split()
    run(["cc", "-std=c99", "-Wall", "-Werror", os.path.join(CONSUMER_DIR, "login_client.c"),
         "-o", pkg_config_program + "_c", *c_flags, "-Wl,-rpath," + libdir])
    programs = [os.path.join(cmake_build, "login_client"), pkg_config_program]
    return programs + [program + "_c" for program in programs], libdir


def check_logins(test, server_binary, clients, work):
    """bob's e-key login with each client against server_binary, started in
    work without an account file so that it finds its sample accounts."""
    here = os.getcwd()
    os.chdir(work)
    try:
        with Server(accounts=None, binary=server_binary) as server:
            for client in clients:
                env = dict(os.environ, VOKA_SOFT_TOKEN_SECRET=BOB_SECRET,
                           VOKA_UDP_LOG=os.path.join(work, "TevUdpServer.log"))
                completed = subprocess.run([client, server.udp, server.http_url, "bob", "bob-pass"],
                                           capture_output=True, text=True, env=env, timeout=60)
                test.assertEqual(completed.returncode, 0, client + ": " + completed.stdout + completed.stderr)
                test.assertIn("result=0 AUTHENSTATE=1", completed.stdout)
                if client.endswith("_c"):
                    test.assertIn("libvoka-client %s, result VOKA_OK\n" % os.environ["VOKA_VERSION"], completed.stdout)
                else:
                    # dynamic key, account login and e-key login, each traced
                    test.assertEqual(completed.stdout.count("datagram command="), 3, completed.stdout)
    finally:
        os.chdir(here)
