[upgrade]
YN keepconf - - h1 Keep the configuration of $(product)
