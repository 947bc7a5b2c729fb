# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# The variables that steer the front end, cleared before a test or a client runs.
set(TRELVO_CLIENT_VARIABLES TRELVODEBUG TRELVOTRACE VELTAPIOPTS VELT_PATH)
