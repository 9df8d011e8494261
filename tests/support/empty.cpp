// Keeps the support library non-empty on platforms without helpers of their own.
