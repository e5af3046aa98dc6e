find_package(OpenSSL REQUIRED COMPONENTS Crypto)
zvk_bench(hash_bench zvk_hash OpenSSL::Crypto)
