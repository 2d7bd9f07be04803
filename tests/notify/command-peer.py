#!/usr/bin/python3
"""The program of the command channel tests.

  command-peer.py OUTPUT EXITCODE [ARGUMENT...]
      writes {"environment": the SERVERMON_* variables, "arguments": the
      arguments after EXITCODE} to OUTPUT as JSON, then exits with EXITCODE
  command-peer.py --sleep PIDFILE
      starts a child that sleeps, writes "OWN_PID CHILD_PID" to PIDFILE and
      sleeps a minute itself
"""

import json
import os
import subprocess
import sys
import time


def main():
    if sys.argv[1] == "--sleep":
        child = subprocess.Popen(["sleep", "60"])
        with open(sys.argv[2] + ".part", "w") as pids:
            pids.write("%d %d" % (os.getpid(), child.pid))
        os.rename(sys.argv[2] + ".part", sys.argv[2])
        time.sleep(60)
        return 0
    variables = {name: value for name, value in os.environ.items()
                 if name.startswith("SERVERMON_")}
    with open(sys.argv[1], "w") as output:
        json.dump({"environment": variables, "arguments": sys.argv[3:]}, output)
    return int(sys.argv[2])


if __name__ == "__main__":
    sys.exit(main())
