zvk_fuzz(http_response zvk_nethttp)
