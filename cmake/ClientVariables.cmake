# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# The variables that steer the front end, cleared before a client runs in a test or a demo.
set(TRELVO_CLIENT_VARIABLES TRELVODEBUG TRELVOTRACE VELTAPIOPTS VELT_PATH)
