pytest_plugins = ["voka.testing"]
