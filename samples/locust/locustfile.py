"""Players who log in every second or so, with the accounts of --voka-accounts:

    locust -f samples/locust/locustfile.py --host http://127.0.0.1:8080 --voka-udp 127.0.0.1:8025 \
        --voka-accounts programs/voka-server/accounts.sample

(python3-voka installed, or PYTHONPATH and VOKA_CLIENT_LIBRARY set for a build tree)."""
from locust import between

import voka.locust


class Player(voka.locust.LoginUser):
    wait_time = between(0.5, 1.5)  # think time between two logins
