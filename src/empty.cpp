// A subsystem whose code is still to come builds from this file alone.
