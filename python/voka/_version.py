# The project's version as CMake's project() declares it; configuring the build
# fails while the two differ (cmake/VokaInstall.cmake).
__version__ = "1.0.0"
