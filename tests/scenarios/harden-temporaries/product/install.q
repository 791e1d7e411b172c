[big]
