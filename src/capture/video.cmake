# Video capture sources of vireon_core.
