# Audio capture sources of vireon_core.
